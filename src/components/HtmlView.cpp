#include "HtmlView.h"

#include "util/UUtils.h"

#include <QImage>
#include <QTextDocument>

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

QVariant THtmlView::loadResource(int Type, const QUrl&)
{
    // Documents come from the brand file and the vendor's news service:
    // nothing in them may reach into the local disk. Every request gets an
    // answer of its own, because for an empty one the document goes on to
    // open the address as a local file, and a missing picture is then
    // looked for by its name.
    if (Type == QTextDocument::ImageResource) {
        static const QImage blank = [] {
            QImage image(1, 1, QImage::Format_ARGB32);
            image.fill(Qt::transparent);
            return image;
        }();
        return blank;
    }
    return QByteArray();
}

void THtmlView::OpenLink(const QUrl& Url)
{
    // Only web addresses reach the browser; a relative link leads nowhere.
    if (Url.scheme() == QLatin1String("http") || Url.scheme() == QLatin1String("https"))
        OpenInBrowser(Url.toString());
}
