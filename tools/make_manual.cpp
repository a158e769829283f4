// tik-manual: prints the user manual (Markdown) to the PDF that "Help Topics" opens, on A4 pages with
// a footer; runs without a display. Usage: tik-manual [--require-pictures] MANUAL.md OUT.pdf
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImageReader>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextLayout>
#include <QTextTable>
#include <QUrl>
#include <QAbstractTextDocumentLayout>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr const char* BODY_FAMILY = "DejaVu Sans";
constexpr const char* MONO_FAMILY = "DejaVu Sans Mono";
constexpr qreal BODY_POINTS = 9.5;
constexpr qreal MONO_POINTS = 8.0;
constexpr qreal FOOTER_POINTS = 8.0;
// Page margins in millimetres: left, top, right, bottom (the footer sits inside the bottom margin).
const QMarginsF PAGE_MARGINS(20.0, 18.0, 20.0, 20.0);
// Layout units of the document: pixels at 96 per inch, the unit in which pictures are sized.
constexpr qreal LAYOUT_DPI = 96.0;
constexpr qreal MILLIMETRES_PER_INCH = 25.4;

qreal MillimetresToLayout(qreal millimetres) { return millimetres / MILLIMETRES_PER_INCH * LAYOUT_DPI; }

bool ReadText(const QString& path, QString* text) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    *text = QString::fromUtf8(file.readAll());
    return true;
}

// One inline picture of the document: where it stands and what it refers to.
struct Picture {
    int position;
    QTextImageFormat format;
};

std::vector<Picture> FindPictures(const QTextDocument& document) {
    std::vector<Picture> pictures;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
            QTextFragment fragment = it.fragment();
            if (fragment.isValid() && fragment.charFormat().isImageFormat())
                pictures.push_back({fragment.position(), fragment.charFormat().toImageFormat()});
        }
    }
    return pictures;
}

// Scales every picture to at most the text width. A picture file that does not exist yet is replaced
// by a note, so the manual can be printed before the window pictures are rendered. Returns the number
// of missing pictures.
int FitPictures(QTextDocument& document, const QString& baseDirectory, qreal textWidth) {
    int missing = 0;
    std::vector<Picture> pictures = FindPictures(document);
    // From the end, so that replacing one picture does not move the ones still to come.
    for (auto it = pictures.rbegin(); it != pictures.rend(); ++it) {
        QString name = it->format.name();
        QString path = QUrl(name).isRelative() ? baseDirectory + QLatin1Char('/') + name : QUrl(name).toLocalFile();
        QTextCursor cursor(&document);
        cursor.setPosition(it->position);
        cursor.setPosition(it->position + 1, QTextCursor::KeepAnchor);
        QSize size = QImageReader(path).size();
        if (!size.isValid()) {
            std::fprintf(stderr, "tik-manual: picture %s not found; a note stands in its place\n",
                         qPrintable(path));
            QTextCharFormat note;
            note.setFontItalic(true);
            cursor.insertText(QStringLiteral("[Picture %1: render it with \"tik --render docs/images FILE\"]")
                                  .arg(QFileInfo(name).fileName()),
                              note);
            ++missing;
            continue;
        }
        qreal scale = size.width() > textWidth ? textWidth / size.width() : 1.0;
        QTextImageFormat format = it->format;
        format.setName(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toString());
        format.setWidth(size.width() * scale);
        format.setHeight(size.height() * scale);
        cursor.setCharFormat(format);
    }
    return missing;
}

bool IsCodeLine(const QTextBlock& block) {
    if (!block.isValid()) return false;
    QTextBlockFormat format = block.blockFormat();
    return format.hasProperty(QTextFormat::BlockCodeFence) || format.hasProperty(QTextFormat::BlockCodeLanguage);
}

// Code in a fixed-width font, code blocks on a light background, tables across the full width with
// thin rules, some air around headings.
void StyleDocument(QTextDocument& document) {
    QFont mono(QString::fromLatin1(MONO_FAMILY));
    mono.setPointSizeF(MONO_POINTS);
    mono.setStyleHint(QFont::Monospace);
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        QTextBlockFormat blockFormat = block.blockFormat();
        bool codeBlock = IsCodeLine(block);
        QTextCursor cursor(block);
        if (codeBlock) {
            // Each line of a code block is a block of its own: space only around the whole.
            blockFormat.setBackground(QColor(0xF2, 0xF2, 0xF2));
            blockFormat.setLeftMargin(6.0);
            blockFormat.setTopMargin(IsCodeLine(block.previous()) ? 0.0 : 4.0);
            blockFormat.setBottomMargin(IsCodeLine(block.next()) ? 0.0 : 6.0);
            cursor.setBlockFormat(blockFormat);
        } else if (blockFormat.headingLevel() > 0) {
            blockFormat.setTopMargin(blockFormat.headingLevel() <= 2 ? 16.0 : 10.0);
            blockFormat.setBottomMargin(4.0);
            cursor.setBlockFormat(blockFormat);
        }
        for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
            QTextFragment fragment = it.fragment();
            QTextCharFormat format = fragment.charFormat();
            if (format.isImageFormat() || !(codeBlock || format.fontFixedPitch())) continue;
            format.setFont(mono, QTextCharFormat::FontPropertiesSpecifiedOnly);
            format.setFontFixedPitch(true);
            QTextCursor span(&document);
            span.setPosition(fragment.position());
            span.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
            span.setCharFormat(format);
        }
    }
    for (QTextFrame* frame : document.rootFrame()->childFrames()) {
        QTextTable* table = qobject_cast<QTextTable*>(frame);
        if (!table) continue;
        QTextTableFormat format = table->format();
        format.setWidth(QTextLength(QTextLength::PercentageLength, 100));
        format.setBorder(0.3);
        format.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
        format.setBorderBrush(QColor(0xA0, 0xA0, 0xA0));
        format.setCellPadding(3.0);
        format.setCellSpacing(0.0);
        format.setTopMargin(4.0);
        format.setBottomMargin(6.0);
        table->setFormat(format);
    }
}

// One line of the table of contents: the chapter heading it names and the cell for its page.
struct ContentsEntry {
    QTextCursor heading;
    QTextCursor pageCell;
};

// Puts a table of contents of the chapters (level-2 headings) before the first chapter. The page
// cells hold a placeholder until the pages are known (FillContents).
std::vector<ContentsEntry> InsertContents(QTextDocument& document) {
    std::vector<QTextCursor> headings;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
        if (block.blockFormat().headingLevel() == 2) headings.emplace_back(block);
    std::vector<ContentsEntry> entries;
    if (headings.empty()) return entries;

    QTextCursor cursor(headings.front().block());
    cursor.movePosition(QTextCursor::StartOfBlock);
    QTextBlockFormat headingFormat = headings.front().blockFormat();
    QTextCharFormat headingText = headings.front().charFormat();
    cursor.insertBlock(headingFormat, headingText);
    cursor.movePosition(QTextCursor::PreviousBlock);
    cursor.insertText(QStringLiteral("Contents"), headingText);

    QTextTableFormat tableFormat;
    tableFormat.setBorder(0.0);
    tableFormat.setCellPadding(1.0);
    tableFormat.setCellSpacing(0.0);
    tableFormat.setBottomMargin(10.0);
    tableFormat.setWidth(QTextLength(QTextLength::PercentageLength, 60));
    tableFormat.setColumnWidthConstraints({QTextLength(QTextLength::PercentageLength, 85),
                                           QTextLength(QTextLength::PercentageLength, 15)});
    cursor.movePosition(QTextCursor::NextBlock);
    QTextTable* table = cursor.insertTable(static_cast<int>(headings.size()), 2, tableFormat);
    QTextCharFormat plain;
    plain.setFontWeight(QFont::Normal);
    QTextBlockFormat right;
    right.setAlignment(Qt::AlignRight);
    for (int row = 0; row < static_cast<int>(headings.size()); ++row) {
        QTextCursor title = table->cellAt(row, 0).firstCursorPosition();
        title.insertText(headings[static_cast<size_t>(row)].block().text(), plain);
        QTextCursor page = table->cellAt(row, 1).firstCursorPosition();
        page.setBlockFormat(right);
        page.insertText(QStringLiteral("00"), plain);
        entries.push_back({headings[static_cast<size_t>(row)], table->cellAt(row, 1).firstCursorPosition()});
    }
    return entries;
}

// Writes the page of each chapter into the table of contents, once the document is paginated.
void FillContents(QTextDocument& document, const std::vector<ContentsEntry>& entries, qreal pageHeight) {
    QAbstractTextDocumentLayout* layout = document.documentLayout();
    // The layout is built lazily: finish it, or the positions of later blocks are not known yet.
    document.pageCount();
    for (const ContentsEntry& entry : entries) {
        // Where the heading's first line stands: its space above may still lie on the page before.
        const QTextLayout* lines = entry.heading.block().layout();
        qreal top = layout->blockBoundingRect(entry.heading.block()).top();
        if (lines && lines->lineCount() > 0) top = lines->position().y() + lines->lineAt(0).y();
        int page = static_cast<int>(top / pageHeight) + 1;
        QTextCursor cell = entry.pageCell;
        cell.movePosition(QTextCursor::StartOfBlock);
        cell.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        cell.insertText(QString::number(page));
    }
    // The numbers take the placeholders' room; lay everything out afresh all the same, since an
    // edit after pagination leaves the layout of the following pages stale.
    document.markContentsDirty(0, document.characterCount());
}

// Lays the document out on pages of the writer's paintable area less a footer line, and prints each
// page with the title and the page number in the footer.
bool PrintDocument(QTextDocument& document, const std::vector<ContentsEntry>& contents, QPdfWriter& writer,
                   const QString& title) {
    QPainter painter;
    if (!painter.begin(&writer)) return false;
    // Work in layout units: the painter scales them to the writer's resolution.
    qreal deviceScale = writer.resolution() / LAYOUT_DPI;
    painter.scale(deviceScale, deviceScale);
    QSizeF area(writer.width() / deviceScale, writer.height() / deviceScale);

    // In layout units, like the document's own fonts, so that the painter's scale applies once.
    QFont footerFont(QString::fromLatin1(BODY_FAMILY));
    footerFont.setPixelSize(qRound(FOOTER_POINTS * LAYOUT_DPI / 72.0));
    QFontMetricsF footerMetrics(footerFont);
    qreal footerHeight = footerMetrics.height() * 2.0;
    QSizeF page(area.width(), area.height() - footerHeight);
    document.setPageSize(page);
    FillContents(document, contents, page.height());
    int pages = document.pageCount();

    for (int index = 0; index < pages; ++index) {
        if (index > 0 && !writer.newPage()) return false;
        painter.save();
        painter.translate(0.0, -index * page.height());
        QAbstractTextDocumentLayout::PaintContext context;
        context.clip = QRectF(0.0, index * page.height(), page.width(), page.height());
        painter.setClipRect(context.clip);
        document.documentLayout()->draw(&painter, context);
        painter.restore();

        painter.setFont(footerFont);
        painter.setPen(QColor(0x60, 0x60, 0x60));
        QRectF footer(0.0, area.height() - footerMetrics.height(), area.width(), footerMetrics.height());
        painter.drawText(footer, Qt::AlignLeft | Qt::AlignVCenter, title);
        painter.drawText(footer, Qt::AlignRight | Qt::AlignVCenter,
                         QStringLiteral("%1 / %2").arg(index + 1).arg(pages));
    }
    return painter.end();
}

// The writer reports no errors of its own: check that a PDF arrived on disk.
bool LooksLikePdf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(5) == "%PDF-" && file.size() > 1000;
}

}  // namespace

int main(int argc, char** argv) {
    // With --require-pictures a picture that cannot be read is an error rather than a note.
    bool requirePictures = argc == 4 && std::strcmp(argv[1], "--require-pictures") == 0;
    if (argc != 3 && !requirePictures) {
        std::fprintf(stderr, "usage: tik-manual [--require-pictures] MANUAL.md OUT.pdf\n");
        return 2;
    }
    const char* sourceArgument = argv[argc - 2];
    const char* outputArgument = argv[argc - 1];
    // Printing needs no display.
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication application(argc, argv);

    QString source = QString::fromLocal8Bit(sourceArgument);
    QString output = QString::fromLocal8Bit(outputArgument);
    QString markdown;
    if (!ReadText(source, &markdown) || markdown.trimmed().isEmpty()) {
        std::fprintf(stderr, "tik-manual: cannot read %s\n", sourceArgument);
        return 1;
    }
    QString baseDirectory = QFileInfo(source).absolutePath();

    QTextDocument document;
    QFont body(QString::fromLatin1(BODY_FAMILY));
    body.setPointSizeF(BODY_POINTS);
    document.setDefaultFont(body);
    document.setBaseUrl(QUrl::fromLocalFile(baseDirectory + QLatin1Char('/')));
    document.setMarkdown(markdown, QTextDocument::MarkdownDialectGitHub);
    StyleDocument(document);

    QPdfWriter writer(output);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(PAGE_MARGINS, QPageLayout::Millimeter);
    writer.setResolution(300);
    QString title = QStringLiteral("TIK User Manual");
    writer.setTitle(title);
    writer.setCreator(QStringLiteral("tik-manual"));
    qreal textWidth = MillimetresToLayout(210.0 - PAGE_MARGINS.left() - PAGE_MARGINS.right()) -
                      2.0 * document.documentMargin();
    int missing = FitPictures(document, baseDirectory, textWidth);
    if (requirePictures && missing > 0) {
        std::fprintf(stderr, "tik-manual: %d picture(s) missing\n", missing);
        return 1;
    }

    std::vector<ContentsEntry> contents = InsertContents(document);
    if (!PrintDocument(document, contents, writer, title) || !LooksLikePdf(output)) {
        std::fprintf(stderr, "tik-manual: cannot write %s\n", outputArgument);
        return 1;
    }
    return 0;
}
