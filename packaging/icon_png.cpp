// Writes the panel's 32x32 window icon as a PNG for the icon theme.
//   norvane_icon_png OUTPUT.png

#include "Gui/norvane_icon.xpm"

#include <QImage>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fputs("usage: norvane_icon_png OUTPUT.png\n", stderr);
        return 2;
    }
    return QImage(norvane_icon).save(QString::fromLocal8Bit(argv[1]), "PNG") ? 0 : 1;
}
