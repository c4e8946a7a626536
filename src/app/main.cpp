#include "components/ErrorReporter.h"

#include <QWidget>

int main(int argc, char** argv)
{
    TApplication app(argc, argv);
    QWidget w;
    w.show();
    return app.exec();
}
