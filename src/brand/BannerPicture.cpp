#include "BannerPicture.h"

#include <QBuffer>
#include <QImageReader>
#include <QMovie>

QImage DecodeStillBanner(const QByteArray& Data, const QByteArray& Format)
{
    QImage picture = QImage::fromData(Data, Format.isEmpty() ? nullptr : Format.constData());
    if (picture.isNull())
        picture = QImage::fromData(Data);
    return picture;
}

namespace
{
// A GIF whose header reads but whose first frame does not would show as an
// empty, zero-sized banner. Read without a movie, since a movie needs a
// running window system and the brand tool has none.
bool FirstGifFrameReads(const QByteArray& Data)
{
    QBuffer buffer;
    buffer.setData(Data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "gif");
    return !reader.read().isNull();
}
} // namespace

QMovie* OpenAnimatedBanner(QByteArray* Data, QObject* Parent)
{
    if (!FirstGifFrameReads(*Data))
        return nullptr;
    auto* device = new QBuffer(Data);
    device->open(QIODevice::ReadOnly);
    auto* movie = new QMovie(device, "gif", Parent);
    device->setParent(movie);
    if (!movie->isValid()) {
        delete movie;
        return nullptr;
    }
    movie->setCacheMode(QMovie::CacheAll);
    movie->jumpToFrame(0);
    return movie;
}

bool BannerPictureShowable(const QByteArray& Data, bool Animated, const QByteArray& Format)
{
    return Animated ? FirstGifFrameReads(Data) : !DecodeStillBanner(Data, Format).isNull();
}
