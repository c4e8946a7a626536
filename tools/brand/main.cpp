// tallyfair-brand: encrypts and decrypts brand files and packs skins for branders.
#include "BrandTool.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    return RunBrandTool(app.arguments().mid(1), out, err);
}
