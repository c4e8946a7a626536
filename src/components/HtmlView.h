#pragma once
// A read-only HTML view for documents handed over as text (welcome pages,
// news bodies). It loads nothing at all: every picture is blank and every
// style sheet empty, whatever address it names, and it runs no scripts;
// links to web addresses open in the user's browser.
#include <QTextBrowser>

class THtmlView : public QTextBrowser
{
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
