// The banded layout of a report: what a page is made of, before any data.
//
// A layout has one or more layout pages ("page sets"): a listing whose columns do
// not fit the paper gets a further layout page for the columns that did not fit,
// printed after the first with all rows again. Each layout page holds bands of the
// kinds below; each band holds objects placed in report units (see PageSetup.h).
//
// Objects describe, they do not hold data: a data cell names the dataset column it
// shows, so the texts of a listing stay in the dataset and a page is painted from
// it on demand. Only fixed texts (captions, the header and footer texts with their
// [Variable] references) live in the layout, once per layout page.
#pragma once

#include "PageSetup.h"

#include <QRect>
#include <QString>

#include <vector>

namespace sqda::report {

// Band kinds, with the names a report designer shows for them.
enum class BandKind : quint8 {
    Title, // "标题": once, at the top of the first page
    PageHeader, // top of every page (not used by listings)
    MasterData, // "主项数据": once per record
    ColumnFooter, // "栏目注脚": under the rows of every page
    PageFooter, // "页注脚": at the foot of every page
    MasterFooter, // "主项注脚": once, after the last record
};
QString bandKindName(BandKind kind);

// A font as the layout records it; the paint layer turns it into a QFont (with the
// family substitutions of the product, e.g. "宋体" to the Simplified Chinese serif).
struct FontSpec
{
    QString family = QStringLiteral("宋体");
    double pointSize = 9;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    quint32 color = 0xFF000000; // ARGB, as QRgb: opaque black

    friend bool operator==(const FontSpec &, const FontSpec &) = default;
};

enum class HAlign : quint8 { Left, Right, Center };
enum class VAlign : quint8 { Top, Center, Bottom };

// Which sides of an object's rectangle are framed.
enum FrameSide : quint8 { FrameNone = 0, FrameLeft = 1, FrameTop = 2, FrameRight = 4, FrameBottom = 8, FrameAll = 15 };

// One stretch of text in one font (an index into ReportLayout::fonts).
struct TextRun
{
    QString text;
    int font = 0;
};

struct Paragraph
{
    HAlign align = HAlign::Left;
    std::vector<TextRun> runs;
};

// A text of several paragraphs and fonts, such as a listing's header block.
struct RichText
{
    std::vector<Paragraph> paragraphs;

    // The plain text, paragraphs joined by '\n'.
    QString plainText() const;
};

enum class ObjectKind : quint8 {
    Text, // fixed text (may hold [Variable], [Page#], [TotalPages#])
    RichText, // several paragraphs and fonts
    DataField, // the display text of a dataset column in the current row
    CheckBox, // a dataset column's truth value as a ticked or empty box
    Aggregate, // a footer value computed over the printed rows
};

enum class AggregateKind : quint8 { Sum, Count };

struct ReportObject
{
    ObjectKind kind = ObjectKind::Text;
    // x in page coordinates (margin included); y relative to the band's top.
    QRect rect;
    QString text; // Text
    bool expandVariables = false; // Text, RichText: replace [Name] when printed; captions and data stay literal
    RichText rich; // RichText
    int column = -1; // DataField, CheckBox, Aggregate(Sum): the dataset column
    AggregateKind aggregate = AggregateKind::Count;
    int font = 0;
    HAlign hAlign = HAlign::Left;
    VAlign vAlign = VAlign::Top;
    bool wordWrap = false; // lines that do not fit are cut at the object's edge
    bool vertical = false; // text turned to run top to bottom
    quint8 frames = FrameNone; // FrameSide flags
    quint8 thickFrames = FrameNone; // sides drawn 2 units wide (the table's outer border)
    bool visible = true;
};

struct Band
{
    BandKind kind = BandKind::MasterData;
    int height = 0;
    bool stretch = false; // marks the band as stretchable; rows still have a fixed height
    bool visible = true;
    std::vector<ReportObject> objects;
};

// One page set: the bands that make its pages.
struct LayoutPage
{
    std::vector<Band> bands;

    const Band *band(BandKind kind) const; // the visible band of that kind, or nullptr
    Band *band(BandKind kind);
    int bandHeight(BandKind kind) const; // 0 when the band is absent or hidden
};

struct ReportLayout
{
    PageSetup page;
    std::vector<FontSpec> fonts; // shared by every object; objects refer by index
    std::vector<LayoutPage> pages;

    // The index of `font` in fonts, added when new, so equal fonts are kept once.
    int fontIndex(const FontSpec &font);
};

} // namespace sqda::report
