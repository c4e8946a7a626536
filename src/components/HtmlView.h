#pragma once
// A read-only HTML view for documents handed over as text (welcome pages,
// news bodies). It never loads file: addresses and runs no scripts; links
// open in the user's browser.
#include <QTextBrowser>

class THtmlView : public QTextBrowser {
    Q_OBJECT
public:
    explicit THtmlView(QWidget* parent = nullptr);

    // Replaces the document with this HTML source.
    void WriteDocument(const QString& Html);

protected:
    QVariant loadResource(int type, const QUrl& name) override;

private:
    void OpenLink(const QUrl& Url);
};
