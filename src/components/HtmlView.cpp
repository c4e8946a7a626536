#include "HtmlView.h"

#include "util/UUtils.h"

THtmlView::THtmlView(QWidget* parent) : QTextBrowser(parent)
{
    setReadOnly(true);
    setOpenLinks(false);
    setOpenExternalLinks(false);
    connect(this, &QTextBrowser::anchorClicked, this, &THtmlView::OpenLink);
}

void THtmlView::WriteDocument(const QString& Html)
{
    setHtml(Html);
}

QVariant THtmlView::loadResource(int, const QUrl&)
{
    // Documents come from the brand file and the vendor's news service:
    // nothing in them may reach into the local disk.
    return {};
}

void THtmlView::OpenLink(const QUrl& Url)
{
    // Only web addresses reach the browser; a relative link leads nowhere.
    if (Url.scheme() == QLatin1String("http") || Url.scheme() == QLatin1String("https"))
        OpenInBrowser(Url.toString());
}
