#include "BrandKit.h"

#include "brand/AppConstants.h"
#include "brand/BannerPicture.h"
#include "brand/BrandFile.h"
#include "brand/BrandText.h"
#include "util/AtomicWrite.h"
#include "util/FileCrypt.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QImage>
#include <QImageWriter>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace
{

constexpr auto ToolName = "tallyfair-brand";

// The brander's folder, by file name.
const QString BrandTextName = QStringLiteral("brand.txt");
const QString SkinSourceName = QStringLiteral("skin.qss");
const QStringList IconSourceNames = {QStringLiteral("icon.png"), QStringLiteral("main.ico")};

// The icon the menu entry shows, beside the program in the kit.
const QString MenuIconName = QStringLiteral("icon.png");
constexpr int IconSide = 256; // the largest size an .ico holds

const char* const Families[] = {"Welcome", "Banner", "Link"};

// A refusal: one line, said once, and nothing is built.
struct TRefusal {
    QString Message;
};

QString Native(const QString& Path)
{
    return QDir::toNativeSeparators(Path);
}

QByteArray ReadWhole(const QString& Path)
{
    QFile file(Path);
    if (!file.open(QIODevice::ReadOnly))
        throw TRefusal{QStringLiteral("Cannot read %1: %2").arg(Native(Path), file.errorString())};
    return file.readAll();
}

// Everything the kit is made of, gathered and checked before it is built.
struct TKitInputs {
    QString Folder;
    QString BrandTextPath;
    TBrandLoad Brand;
    QList<TBrandTagRead> Reads;
    QString Slug;                           // folder and menu-entry name
    QList<QPair<QString, QString>> Banners; // source file, "bannerN.dat"
    QByteArray Ico, MenuIcon;               // main.ico, icon.png
    QString Program;                        // the program to hand out
    QStringList Warnings;
};

qsizetype StartTagAt(const QByteArray& Text, const QByteArray& Name)
{
    return IndexOfAsciiNoCase(Text, StartTagOf(Name));
}

// The program reads the tags one after another from a text that each read
// shortens; a tag it looked for in vain but that is in the text stands
// before one read earlier, and the program never sees it.
void CheckTagOrder(const QByteArray& Text, const QList<TBrandTagRead>& Reads, const QString& File)
{
    for (qsizetype i = 0; i < Reads.size(); ++i) {
        const TBrandTagRead& read = Reads[i];
        const qsizetype at = read.Found ? -1 : StartTagAt(Text, read.Name);
        if (at < 0)
            continue;
        for (qsizetype j = 0; j < i; ++j) {
            if (Reads[j].Found && StartTagAt(Text, Reads[j].Name) > at)
                throw TRefusal{QStringLiteral("%1: %2 stands before %3, which the program reads first, so "
                                              "the program would not find %2")
                                   .arg(Native(File), QString::fromLatin1(read.Name),
                                        QString::fromLatin1(Reads[j].Name))};
        }
        throw TRefusal{QStringLiteral("%1: %2 is out of order, so the program would not find it")
                           .arg(Native(File), QString::fromLatin1(read.Name))};
    }
}

// A family (Welcome1, Welcome2, ...) ends at its first missing or empty
// entry; entries after a gap are never read.
void CheckFamilyGaps(const QByteArray& Text, const QList<TBrandTagRead>& Reads, const QString& File)
{
    for (const char* family : Families) {
        const QByteArray prefix(family);
        int stop = 0;
        bool stopFound = false;
        for (const TBrandTagRead& read : Reads) {
            if (read.Name.startsWith(prefix) && read.Name.size() > prefix.size() &&
                read.Name[prefix.size()] >= '0' && read.Name[prefix.size()] <= '9') {
                stop = read.Name.mid(prefix.size()).toInt();
                stopFound = read.Found;
            }
        }
        for (int later = stop + 1; later <= MaxBrandEntries; ++later) {
            const QByteArray name = prefix + QByteArray::number(later);
            if (StartTagAt(Text, name) < 0)
                continue;
            const QString gap = QString::fromLatin1(prefix + QByteArray::number(stop));
            throw TRefusal{QStringLiteral("%1: %2 is %3, so the program stops there and ignores %4 and every "
                                          "later %5 entry")
                               .arg(Native(File), gap,
                                    stopFound ? QStringLiteral("empty") : QStringLiteral("missing"),
                                    QString::fromLatin1(name), QString::fromLatin1(prefix))};
        }
    }
}

// Values that are accepted but quietly switch news off.
QStringList TierWarnings(const TBrandRecord& R)
{
    const QString& type = R.BranderType;
    if (type == QLatin1String("Free"))
        return {};
    const QPair<QString, QString> tiers[] = {
        {QStringLiteral("Master"), R.MasterNewsBaseURL + '\n' + R.MasterPublID},
        {QStringLiteral("Platinum"), R.PlatinumNewsBaseURL + '\n' + R.PlatinumPublID},
        {QStringLiteral("Gold"), R.GoldNewsBaseURL + '\n' + R.GoldPublID}};
    for (const auto& [tier, values] : tiers) {
        if (type != tier)
            continue;
        QStringList missing;
        if (values.section('\n', 0, 0).isEmpty())
            missing << tier + QStringLiteral("NewsBaseURL");
        if (values.section('\n', 1, 1).isEmpty())
            missing << tier + QStringLiteral("PublID");
        if (missing.isEmpty())
            return {};
        return {
            QStringLiteral("BranderType %1 has no %2: the News button stays hidden and no news is fetched")
                .arg(tier, missing.join(QStringLiteral(" and no ")))};
    }
    return {
        QStringLiteral("BranderType \"%1\" is not exactly \"Master\", \"Platinum\", \"Gold\" or \"Free\": "
                       "the News button stays hidden and no news is fetched")
            .arg(type)};
}

// "Prize Desk" -> "prize-desk": the folder under ~/.local/share and the
// menu entry's name.
QString SlugOf(const QString& Name)
{
    QString slug;
    for (const QChar c : Name.toLower()) {
        if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
            slug += c;
        else if (!slug.isEmpty() && !slug.endsWith('-'))
            slug += '-';
    }
    while (slug.endsWith('-'))
        slug.chop(1);
    slug.truncate(40);
    return slug.isEmpty() ? QStringLiteral("brand") : slug;
}

void ReadBrand(TKitInputs& In)
{
    In.BrandTextPath = QDir(In.Folder).filePath(BrandTextName);
    if (!QFileInfo(In.BrandTextPath).isFile())
        throw TRefusal{QStringLiteral("%1 holds no %2").arg(Native(In.Folder), BrandTextName)};
    const QByteArray plain = ReadWhole(In.BrandTextPath);
    In.Brand = ParseBrandText(plain, SystemRandomIndex, &In.Reads);
    const QByteArray text = NormalizeLinesCrLf(plain);
    CheckTagOrder(text, In.Reads, In.BrandTextPath);
    CheckFamilyGaps(text, In.Reads, In.BrandTextPath);
    if (In.Brand.Record.ApplicationName.trimmed().isEmpty())
        throw TRefusal{QStringLiteral("%1 has no ApplicationName; the kit is named after it")
                           .arg(Native(In.BrandTextPath))};
    In.Slug = SlugOf(In.Brand.Record.ApplicationName);
    In.Warnings << TierWarnings(In.Brand.Record);
}

// Every banner entry may be picked at start, so every one must show. The
// picture is the file the entry names, or else bannerN.dat, in the folder.
void CheckBanners(TKitInputs& In)
{
    for (const TBrandTagRead& read : In.Reads) {
        if (!read.Name.startsWith("Banner") || read.Value.isEmpty())
            continue;
        const int number = read.Name.mid(6).toInt();
        const QString entry = QString::fromLatin1(read.Name);
        const QString image = SplitBrandEntry(read.Value).first;
        if (image.isEmpty()) {
            In.Warnings << QStringLiteral("%1 names no picture: the banner stays hidden when it is picked")
                               .arg(entry);
            continue;
        }
        const QDir folder(In.Folder);
        QString source = folder.filePath(FileNamePart(image));
        if (FileNamePart(image).isEmpty() || !QFileInfo(source).isFile())
            source = folder.filePath(BannerDataFileName(number));
        if (!QFileInfo(source).isFile())
            throw TRefusal{
                QStringLiteral("%1 names %2, but %3 holds neither %4 nor %5")
                    .arg(entry, image, Native(In.Folder), FileNamePart(image), BannerDataFileName(number))};
        const bool animated = IsGifName(image);
        if (!BannerPictureShowable(ReadWhole(source), animated, ImageFormatForName(image)))
            throw TRefusal{QStringLiteral("%1 (%2, named %3) is not a %4 the program can show")
                               .arg(Native(source), entry, image,
                                    animated ? QStringLiteral("GIF animation") : QStringLiteral("picture"))};
        In.Banners.append({source, BannerDataFileName(number)});
    }
}

QByteArray Encode(const QImage& Image, const char* Format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, Format);
    return writer.write(Image) ? bytes : QByteArray();
}

void ReadIcon(TKitInputs& In)
{
    QString source;
    for (const QString& name : IconSourceNames) {
        if (QFileInfo(QDir(In.Folder).filePath(name)).isFile()) {
            source = QDir(In.Folder).filePath(name);
            break;
        }
    }
    if (source.isEmpty())
        throw TRefusal{
            QStringLiteral("%1 holds no icon (%2)").arg(Native(In.Folder), IconSourceNames.join(" or "))};
    const QByteArray bytes = ReadWhole(source);
    QImage image = QImage::fromData(bytes);
    if (image.isNull())
        throw TRefusal{
            QStringLiteral("%1 is not a picture the program can use as its icon").arg(Native(source))};
    if (image.width() > IconSide || image.height() > IconSide)
        image = image.scaled(IconSide, IconSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    In.Ico = source.endsWith(QLatin1String(".ico")) ? bytes : Encode(image, "ico");
    In.MenuIcon = Encode(image, "png");
    if (In.Ico.isEmpty() || In.MenuIcon.isEmpty())
        throw TRefusal{QStringLiteral("Cannot convert %1 into an icon").arg(Native(source))};
}

bool IsElfExecutable(const QString& Path)
{
    QFile file(Path);
    return file.open(QIODevice::ReadOnly) && file.read(4) == QByteArray("\x7f"
                                                                        "ELF",
                                                                        4);
}

// Installed, the program lies in its own folder and bin/tallyfair is the
// launcher script; in the build folder it lies beside this tool.
void FindProgram(TKitInputs& In)
{
    const QDir here(QCoreApplication::applicationDirPath());
    const QStringList candidates = {here.filePath(QStringLiteral(TF_INSTALLED_PROGRAM)),
                                    here.filePath(QStringLiteral("tallyfair"))};
    for (const QString& path : candidates) {
        if (IsElfExecutable(path)) {
            In.Program = QFileInfo(path).canonicalFilePath();
            return;
        }
    }
    throw TRefusal{QStringLiteral("Cannot find the program to put into the kit (looked for %1)")
                       .arg(Native(candidates.join(QStringLiteral(", "))))};
}

// The skin is packed by pack-skin itself, so the kit refuses exactly what
// pack-skin refuses, with its words.
void PackSkin(const TKitInputs& In, const QString& Dest)
{
    const QString source = QDir(In.Folder).filePath(SkinSourceName);
    if (!QFileInfo::exists(source))
        return;
    for (const TBrandCommand& command : BrandCommands()) {
        if (QLatin1String(command.Name) != QLatin1String("pack-skin"))
            continue;
        QString message;
        QTextStream err(&message);
        TBrandInvocation invocation;
        invocation.Arguments = QStringList{source, Dest};
        if (command.Run(invocation, err) != beSuccess) {
            err.flush();
            message = message.trimmed();
            const QString prefix = QString::fromLatin1(ToolName) + QStringLiteral(": ");
            if (message.startsWith(prefix))
                message.remove(0, prefix.size());
            throw TRefusal{message};
        }
    }
}

QString Fill(const QString& Text, const TKitInputs& In)
{
    const QString name = In.Brand.Record.ApplicationName.simplified();
    QString quoted = name;
    quoted.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    QString desktop = name;
    desktop.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    const QHash<QString, QString> values{
        {QStringLiteral("NAME_SH"), QLatin1Char('\'') + quoted + QLatin1Char('\'')},
        {QStringLiteral("NAME_DESKTOP"), desktop},
        {QStringLiteral("NAME"), name},
        {QStringLiteral("SLUG"), In.Slug},
        {QStringLiteral("VERSION"), AppVersion},
    };
    // One pass: a brand name that itself holds "@NAME@" is not filled in
    // again, unquoted, in the next step.
    static const QRegularExpression placeholder(QStringLiteral("@([A-Z_]+)@"));
    QString out;
    qsizetype from = 0;
    for (QRegularExpressionMatchIterator it = placeholder.globalMatch(Text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const auto value = values.constFind(m.captured(1));
        if (value == values.cend())
            continue;
        out += QStringView(Text).mid(from, m.capturedStart() - from);
        out += *value;
        from = m.capturedEnd();
    }
    out += QStringView(Text).mid(from);
    return out;
}

QByteArray Template(const QString& Name, const TKitInputs& In)
{
    QFile file(QStringLiteral(":/kit/") + Name);
    if (!file.open(QIODevice::ReadOnly))
        throw TRefusal{QStringLiteral("Cannot read the kit template %1").arg(Name)};
    return Fill(QString::fromUtf8(file.readAll()), In).toUtf8();
}

void Put(const QString& Path, const QByteArray& Bytes, bool Executable = false)
{
    QString error;
    if (!WriteFileAtomically(Path, Bytes, error))
        throw TRefusal{QStringLiteral("Cannot write %1: %2").arg(Native(Path), error)};
    QFile::Permissions mode = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther;
    if (Executable)
        mode |= QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther;
    QFile::setPermissions(Path, mode);
}

// A program from a build tree carries its debugging information, several
// times the size of the program; end users have no use for it. Without
// strip the kit is only larger.
void StripDebugInfo(const QString& Program)
{
    QProcess strip;
    strip.start(QStringLiteral("strip"), {QStringLiteral("--strip-unneeded"), Program});
    if (strip.waitForStarted(10000))
        strip.waitForFinished(60000);
}

// Assembles the kit's folder inside Staging and writes Out from it.
void Build(const TKitInputs& In, const QString& Staging, const QString& Out)
{
    const QDir top(QDir(Staging).filePath(In.Slug));
    if (!QDir().mkpath(top.path()))
        throw TRefusal{QStringLiteral("Cannot create %1").arg(Native(top.path()))};
    QString error;
    if (!EncryptFileTo(In.BrandTextPath, top.filePath(BrandFileName), &error))
        throw TRefusal{QStringLiteral("Cannot encrypt %1: %2").arg(Native(In.BrandTextPath), error)};
    Put(top.filePath(QStringLiteral("tallyfair")), ReadWhole(In.Program), true);
    StripDebugInfo(top.filePath(QStringLiteral("tallyfair")));
    for (const auto& [source, name] : In.Banners)
        Put(top.filePath(name), ReadWhole(source));
    Put(top.filePath(IconFileName), In.Ico);
    Put(top.filePath(MenuIconName), In.MenuIcon);
    Put(top.filePath(QStringLiteral("tallyfair-%1.desktop").arg(In.Slug)), Template("entry.desktop", In));
    Put(top.filePath(QStringLiteral("README.txt")), Template("README.txt", In));
    Put(top.filePath(QStringLiteral("install.sh")), Template("install.sh", In), true);

    QProcess tar;
    tar.start(QStringLiteral("tar"), {"--sort=name", "--owner=0", "--group=0", "--numeric-owner", "-czf", "-",
                                      "-C", Staging, In.Slug});
    if (!tar.waitForStarted(10000))
        throw TRefusal{QStringLiteral("Cannot run tar to pack the kit")};
    tar.closeWriteChannel();
    tar.waitForFinished(-1);
    if (tar.exitStatus() != QProcess::NormalExit || tar.exitCode() != 0)
        throw TRefusal{QStringLiteral("tar failed: %1")
                           .arg(QString::fromLocal8Bit(tar.readAllStandardError()).trimmed())};
    if (!WriteFileAtomically(Out, tar.readAllStandardOutput(), error))
        throw TRefusal{QStringLiteral("Cannot write %1: %2").arg(Native(Out), error)};
}

} // namespace

int RunBrandKit(const TBrandInvocation& Invocation, QTextStream& Err)
{
    TKitInputs in;
    in.Folder = Invocation.Arguments[0];
    const QString out = Invocation.Arguments[1];
    try {
        if (Invocation.Password != FixedFilePassword())
            throw TRefusal{QStringLiteral(
                "kit always uses the program's own brand-file password; leave out --password")};
        if (!QFileInfo(in.Folder).isDir())
            throw TRefusal{QStringLiteral("%1 is not a folder").arg(Native(in.Folder))};
        ReadBrand(in);
        CheckBanners(in);
        ReadIcon(in);
        FindProgram(in);
        QTemporaryDir staging;
        if (!staging.isValid())
            throw TRefusal{QStringLiteral("Cannot create a temporary folder: %1").arg(staging.errorString())};
        // Packed into the staging folder: a refused skin leaves nothing behind.
        const QString skinDir = QDir(staging.path()).filePath(in.Slug);
        QDir().mkpath(skinDir);
        PackSkin(in, QDir(skinDir).filePath(SkinFileName));
        for (const QString& warning : in.Warnings)
            Err << ToolName << ": warning: " << warning << Qt::endl;
        Build(in, staging.path(), out);
    } catch (const TRefusal& refusal) {
        Err << ToolName << ": " << refusal.Message << Qt::endl;
        return beFailed;
    }
    return beSuccess;
}
