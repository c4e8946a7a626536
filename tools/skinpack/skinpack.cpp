// Build step: packs the built-in style sheet into skin data and writes it as
// a C array for the program to include.
#include "components/Skin.h"

#include <QFile>
#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: tf_skinpack STYLE.qss OUTPUT.inc\n");
        return 2;
    }
    QFile in(QString::fromLocal8Bit(argv[1]));
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "tf_skinpack: cannot read %s\n", argv[1]);
        return 1;
    }
    const QByteArray packed = skin::Pack(in.readAll());
    QByteArray text = "// Generated from " + QByteArray(argv[1]) + "; do not edit.\n"
                      "const unsigned char BuiltinSkinData[] = {";
    for (qsizetype i = 0; i < packed.size(); ++i) {
        if (i % 16 == 0)
            text += "\n ";
        text += ' ' + QByteArray::number(uchar(packed[i])) + ',';
    }
    text += "\n};\n";
    QFile out(QString::fromLocal8Bit(argv[2]));
    if (packed.isEmpty() || !out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(text) != text.size()) {
        std::fprintf(stderr, "tf_skinpack: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
