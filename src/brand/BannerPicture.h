#pragma once
// Decoding a banner picture the way the main window shows it. The brand
// tool uses the same code to refuse a banner the window could not show.
#include <QByteArray>
#include <QImage>

class QMovie;
class QObject;

// A still banner: read in the format its file name gives, and when that
// fails, in whatever format the bytes turn out to be (a name can lie about
// its format). A null image means the window hides the banner.
QImage DecodeStillBanner(const QByteArray& Data, const QByteArray& Format);

// An animated banner, playing from *Data (which must outlive it), owned by
// Parent and positioned on its first frame; null when the bytes hold no GIF
// whose first frame decodes.
QMovie* OpenAnimatedBanner(QByteArray* Data, QObject* Parent);

// Whether the window could show this banner.
bool BannerPictureShowable(const QByteArray& Data, bool Animated, const QByteArray& Format);
