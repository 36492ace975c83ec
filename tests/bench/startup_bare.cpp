// The baseline of the start-up benchmark: a bare Qt program that loads the
// program's resource file (argv[1]) with QUiLoader and shows it.
#include <QApplication>
#include <QFile>
#include <QUiLoader>
#include <QWidget>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QFile file(argc > 1 ? argv[1] : "");
    if (!file.open(QIODevice::ReadOnly))
        return 2;
    QUiLoader loader;
    QWidget *window = loader.load(&file);
    if (!window)
        return 3;
    window->show();
    return app.exec();
}
