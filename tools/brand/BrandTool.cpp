#include "BrandTool.h"

#include "BrandKit.h"
#include "brand/Skin.h"
#include "util/AtomicWrite.h"
#include "util/FileCrypt.h"

#include <QDir>
#include <QFile>
#include <QStringDecoder>

namespace
{

constexpr auto ToolName = "tallyfair-brand";

int Encrypt(const TBrandInvocation& Invocation, QTextStream& Err)
{
    QString error;
    if (!EncryptFileTo(Invocation.Arguments[0], Invocation.Arguments[1], &error, Invocation.Password)) {
        Err << ToolName << ": " << error << Qt::endl;
        return beFailed;
    }
    return beSuccess;
}

int Decrypt(const TBrandInvocation& Invocation, QTextStream& Err)
{
    QString error;
    // Only an authentic file is written out: a wrong password or a damaged
    // file gives a message and no output at all.
    if (!DecryptFileTo(Invocation.Arguments[0], Invocation.Arguments[1], &error, Invocation.Password)) {
        Err << ToolName << ": " << error << Qt::endl;
        return beFailed;
    }
    return beSuccess;
}

int Fail(QTextStream& Err, const QString& Message)
{
    Err << ToolName << ": " << Message << Qt::endl;
    return beFailed;
}

int PackSkin(const TBrandInvocation& Invocation, QTextStream& Err)
{
    const QString source = Invocation.Arguments[0];
    const QString dest = Invocation.Arguments[1];
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return Fail(
            Err,
            QStringLiteral("Cannot open %1: %2").arg(QDir::toNativeSeparators(source), in.errorString()));
    QByteArray sheet = in.read(skin::MaxStyleSheetBytes + 1);
    // The program refuses to apply a skin file it cannot read back, so such
    // a sheet is refused here rather than packed into a useless file.
    if (sheet.size() > skin::MaxStyleSheetBytes)
        return Fail(Err, QStringLiteral("%1 is larger than %2 bytes")
                             .arg(QDir::toNativeSeparators(source))
                             .arg(skin::MaxStyleSheetBytes));
    // An editor's byte-order mark would end up in front of the first selector.
    if (sheet.startsWith("\xEF\xBB\xBF"))
        sheet.remove(0, 3);
    if (sheet.trimmed().isEmpty())
        return Fail(Err, QStringLiteral("%1 holds no style sheet").arg(QDir::toNativeSeparators(source)));
    QStringDecoder utf8(QStringDecoder::Utf8);
    (void)QString(utf8(sheet));
    if (utf8.hasError())
        return Fail(Err, QStringLiteral("%1 is not UTF-8 text").arg(QDir::toNativeSeparators(source)));

    const QByteArray packed = skin::Pack(sheet);
    if (packed.isEmpty())
        return Fail(Err, QStringLiteral("Cannot compress %1").arg(QDir::toNativeSeparators(source)));
    QString error;
    if (!WriteFileAtomically(dest, packed, error))
        return Fail(Err, QStringLiteral("Cannot write %1: %2").arg(QDir::toNativeSeparators(dest), error));
    return beSuccess;
}

const TBrandCommand Commands[] = {
    {"encrypt", "PLAIN ENCRYPTED", "encrypt the brand text PLAIN into the brand file ENCRYPTED", 2, Encrypt},
    {"decrypt", "ENCRYPTED PLAIN", "decrypt the brand file ENCRYPTED into PLAIN, if it is intact", 2,
     Decrypt},
    {"pack-skin", "STYLE.qss SKIN",
     "pack the Qt style sheet STYLE.qss into the skin file SKIN (mainskin.dat)", 2, PackSkin},
    {"kit", "FOLDER KIT.tar.gz",
     "check the brand in FOLDER (brand.txt, banners, icon.png, optional skin.qss) and build the kit end "
     "users "
     "install",
     2, RunBrandKit},
};

void PrintUsage(QTextStream& Stream)
{
    Stream << "Usage: " << ToolName << " [--password P] COMMAND ARGUMENTS\n\nCommands:\n";
    for (const auto& command : Commands)
        Stream << "  " << command.Name << ' ' << command.Usage << "\n      " << command.Summary << '\n';
    Stream << "\nOptions:\n"
              "  --password P  use P instead of the program's own brand-file password\n"
              "  --help        show this text\n\n"
              "Exit status: 0 done, 1 failed (the message says why), 2 wrong usage.\n";
    Stream.flush();
}

int UsageError(QTextStream& Err, const QString& Message)
{
    Err << ToolName << ": " << Message << " (try --help)" << Qt::endl;
    return beUsage;
}

} // namespace

std::span<const TBrandCommand> BrandCommands()
{
    return Commands;
}

int RunBrandTool(const QStringList& Args, QTextStream& Out, QTextStream& Err)
{
    TBrandInvocation invocation;
    invocation.Password = FixedFilePassword();
    QStringList positional;
    for (qsizetype i = 0; i < Args.size(); ++i) {
        const QString& arg = Args[i];
        if (arg == "--help" || arg == "-h") {
            PrintUsage(Out);
            return beSuccess;
        }
        if (arg == "--password") {
            if (i + 1 >= Args.size())
                return UsageError(Err, "--password needs a value");
            invocation.Password = Args[++i].toLocal8Bit();
        } else if (arg.startsWith("--password=")) {
            invocation.Password = arg.mid(11).toLocal8Bit();
        } else if (arg.startsWith("--")) {
            return UsageError(Err, QStringLiteral("unknown option %1").arg(arg));
        } else {
            positional << arg;
        }
    }
    if (positional.isEmpty()) {
        PrintUsage(Err);
        return beUsage;
    }
    const QString name = positional.takeFirst();
    for (const auto& command : Commands) {
        if (name != QLatin1String(command.Name))
            continue;
        if (positional.size() != command.ArgumentCount)
            return UsageError(Err, QStringLiteral("%1 takes %2").arg(name, command.Usage));
        invocation.Arguments = positional;
        return command.Run(invocation, Err);
    }
    return UsageError(Err, QStringLiteral("unknown command %1").arg(name));
}
