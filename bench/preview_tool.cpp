// Writes the preview the program stores for a page file as a PNG, so that preview_kinds.sh can
// compare it with a reference reduction of the page.
//   preview_tool <page file> <out.png> [--rss]
// Exits 1 when the page gets no preview; --rss prints the peak resident memory afterwards.
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <cstdio>
#include <sys/resource.h>

#include "PageLoaders.h"

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const bool rss = args.removeAll(QStringLiteral("--rss")) > 0;
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: preview_tool <page file> <out.png> [--rss]\n");
        return 2;
    }

    // MakePreview takes absolute paths only.
    const std::optional<QByteArray> jpeg = MakePreview(QFileInfo(args[0]).absoluteFilePath());
    const QImage preview = jpeg ? QImage::fromData(*jpeg, "JPEG") : QImage();
    if (preview.isNull()) {
        std::fprintf(stderr, "no preview: %s\n", qPrintable(args[0]));
        return 1;
    }
    if (!preview.save(args[1], "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(args[1]));
        return 2;
    }

    if (rss) {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        std::printf("peak RSS %ld KiB\n", usage.ru_maxrss);
    }
    return 0;
}
