// Build-time tool: draws the program's pictures and lays out its help document, so that the
// repository holds their sources and no binaries.
//   ResourceMaker <QuickHelp.txt> <output folder>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QPageSize>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <QTextDocument>
#include <QTextStream>
#include <cstdio>

namespace {

// A folder: its tab, its back and its front flap, in a 32 x 32 area.
QImage DrawFolderIcon()
{
    QImage image(32, 32, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor outline(44, 92, 150);

    QPainterPath back;
    back.moveTo(2.5, 7.5);
    back.lineTo(12.0, 7.5);
    back.lineTo(14.5, 10.0);
    back.lineTo(29.5, 10.0);
    back.lineTo(29.5, 27.5);
    back.lineTo(2.5, 27.5);
    back.closeSubpath();
    p.setPen(QPen(outline, 1.0));
    p.setBrush(QColor(104, 160, 218));
    p.drawPath(back);

    // A sheet peeking out, for the documents inside.
    p.setBrush(Qt::white);
    p.setPen(QPen(QColor(150, 150, 150), 0.8));
    p.drawRect(QRectF(6.5, 11.5, 19, 9));

    QLinearGradient front(0, 13, 0, 28);
    front.setColorAt(0, QColor(140, 194, 245));
    front.setColorAt(1, QColor(84, 144, 210));
    QPainterPath flap;
    flap.moveTo(2.5, 27.5);
    flap.lineTo(4.5, 14.5);
    flap.lineTo(31.0, 14.5);
    flap.lineTo(29.5, 27.5);
    flap.closeSubpath();
    p.setPen(QPen(outline, 1.0));
    p.setBrush(front);
    p.drawPath(flap);
    return image;
}

void DrawCylinder(QPainter& p, const QRectF& body, qreal capHeight)
{
    const QColor edge(30, 70, 120);
    QLinearGradient side(body.left(), 0, body.right(), 0);
    side.setColorAt(0, QColor(52, 110, 180));
    side.setColorAt(0.45, QColor(120, 178, 235));
    side.setColorAt(1, QColor(40, 92, 158));
    QPainterPath shape;
    shape.moveTo(body.left(), body.top());
    shape.lineTo(body.left(), body.bottom());
    shape.arcTo(QRectF(body.left(), body.bottom() - capHeight / 2, body.width(), capHeight), 180, 180);
    shape.lineTo(body.right(), body.top());
    shape.closeSubpath();
    p.setPen(QPen(edge, 3));
    p.setBrush(side);
    p.drawPath(shape);
    // Rings between the layers of the store.
    p.setBrush(Qt::NoBrush);
    for (qreal y : {body.top() + body.height() / 3, body.top() + 2 * body.height() / 3})
        p.drawArc(QRectF(body.left(), y - capHeight / 2, body.width(), capHeight), 180 * 16, 180 * 16);
    p.setBrush(QColor(170, 210, 245));
    p.drawEllipse(QRectF(body.left(), body.top() - capHeight / 2, body.width(), capHeight));
}

void DrawPage(QPainter& p, const QRectF& page, qreal angle)
{
    p.save();
    p.translate(page.center());
    p.rotate(angle);
    const QRectF sheet(-page.width() / 2, -page.height() / 2, page.width(), page.height());
    p.setPen(QPen(QColor(120, 120, 120), 2));
    p.setBrush(QColor(252, 252, 248));
    p.drawRect(sheet);
    p.setPen(QPen(QColor(170, 170, 170), 3, Qt::SolidLine, Qt::RoundCap));
    for (int line = 0; line < 5; ++line) {
        const qreal y = sheet.top() + 18 + line * 12;
        p.drawLine(QPointF(sheet.left() + 12, y), QPointF(sheet.right() - (line == 4 ? 30 : 12), y));
    }
    p.restore();
}

// The program's picture: scanned pages going into a database. Drawn at 256 so that it scales
// down cleanly to 128.
QImage DrawProgramPicture()
{
    QImage image(256, 256, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    DrawPage(p, QRectF(26, 22, 90, 116), -10);
    DrawPage(p, QRectF(52, 16, 90, 116), 4);

    // The arrow from the pages down to the store.
    QPainterPath arrow;
    arrow.moveTo(118, 112);
    arrow.cubicTo(168, 112, 176, 132, 176, 150);
    arrow.lineTo(192, 150);
    arrow.lineTo(166, 182);
    arrow.lineTo(140, 150);
    arrow.lineTo(156, 150);
    arrow.cubicTo(156, 138, 148, 130, 118, 130);
    arrow.closeSubpath();
    p.setPen(QPen(QColor(170, 90, 20), 3));
    p.setBrush(QColor(245, 150, 40));
    p.drawPath(arrow);

    DrawCylinder(p, QRectF(60, 172, 136, 56), 30);
    return image;
}

QString HelpText(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    return QString::fromUtf8(file.readAll());
}

bool WriteHelp(const QString& source, const QString& target)
{
    const QString text = HelpText(source);
    if (text.isEmpty())
        return false;
    QPdfWriter pdf(target);
    pdf.setPageSize(QPageSize(QPageSize::A4));
    // QTextDocument::print keeps its own 2 cm margins inside the page.
    pdf.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
    pdf.setResolution(300);
    pdf.setTitle(QStringLiteral("Vellumix Import - Quick Help"));
    pdf.setCreator(QStringLiteral("Vellumix Import"));

    QTextDocument document;
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSizeF(10.5);
    document.setDefaultFont(font);
    // Plain text marks up the help; no HTML, so that "<name>" stays text.
    document.setMarkdown(text, QTextDocument::MarkdownFeatures(QTextDocument::MarkdownDialectGitHub |
                                                                QTextDocument::MarkdownNoHTML));
    document.print(&pdf);
    return true;
}

bool Save(const QImage& image, const QString& path)
{
    if (image.save(path, "PNG"))
        return true;
    std::fprintf(stderr, "ResourceMaker: cannot write %s\n", qPrintable(path));
    return false;
}

}  // namespace

int main(int argc, char** argv)
{
    QGuiApplication application(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: ResourceMaker <QuickHelp.txt> <output folder>\n");
        return 2;
    }
    const QString source = QString::fromLocal8Bit(argv[1]);
    const QDir out(QString::fromLocal8Bit(argv[2]));
    if (!QDir().mkpath(out.path())) {
        std::fprintf(stderr, "ResourceMaker: cannot create %s\n", argv[2]);
        return 1;
    }
    bool ok = Save(DrawFolderIcon(), out.filePath(QStringLiteral("IcDBFolder.png")));
    const QImage picture = DrawProgramPicture();
    ok = Save(picture, out.filePath(QStringLiteral("PicDBImport.png"))) && ok;
    // The desktop menu's icon is the program's picture.
    ok = Save(picture, out.filePath(QStringLiteral("vellumix-import.png"))) && ok;
    if (!WriteHelp(source, out.filePath(QStringLiteral("QuickHelp.pdf")))) {
        std::fprintf(stderr, "ResourceMaker: cannot read %s or write the help document\n", argv[1]);
        ok = false;
    }
    return ok ? 0 : 1;
}
