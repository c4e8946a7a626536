#pragma once
// The command line of tallyfair-brand. Each subcommand is one row of a
// table, so that new ones (packing skins, say) are one function and one row.
#include <QByteArray>
#include <QStringList>
#include <QTextStream>
#include <span>

struct TBrandInvocation {
    QStringList Arguments; // what follows the subcommand's name
    QByteArray Password;   // the fixed file password unless --password was given
};

struct TBrandCommand {
    const char* Name;
    const char* Usage;   // the arguments, as shown in the help
    const char* Summary; // one line for the help
    int ArgumentCount;
    // Returns the exit status; messages go to Err, one line each.
    int (*Run)(const TBrandInvocation& Invocation, QTextStream& Err);
};

enum TBrandExit { beSuccess = 0, beFailed = 1, beUsage = 2 };

std::span<const TBrandCommand> BrandCommands();

// Parses Args (without the program name), runs the subcommand and returns
// the exit status.
int RunBrandTool(const QStringList& Args, QTextStream& Out, QTextStream& Err);
