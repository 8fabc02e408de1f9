#include "common/ProgramIcon.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <cstdio>

// Writes the program's icon into an icon theme folder (hicolor): scalable/apps/velmora.svg and
// NxN/apps/velmora.png for each installed size. Run by the build; the installation copies them.
int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fputs("usage: velmora_icon_export THEME-FOLDER\n", stderr);
        return 2;
    }
    const QDir theme(QString::fromLocal8Bit(argv[1]));
    const QString svgPath = theme.filePath(QStringLiteral("scalable/apps/velmora.svg"));
    QDir().mkpath(QFileInfo(svgPath).path());
    QFile svg(svgPath);
    if (!svg.open(QIODevice::WriteOnly) || svg.write(ProgramIcon::svg()) < 0 || !svg.flush()) {
        std::fprintf(stderr, "velmora_icon_export: cannot write %s\n", qPrintable(svgPath));
        return 1;
    }
    for (int size : ProgramIcon::kThemeSizes) {
        const QString png = theme.filePath(QStringLiteral("%1x%1/apps/velmora.png").arg(size));
        QDir().mkpath(QFileInfo(png).path());
        if (!ProgramIcon::image(size).save(png, "PNG")) {
            std::fprintf(stderr, "velmora_icon_export: cannot write %s\n", qPrintable(png));
            return 1;
        }
    }
    return 0;
}
