#include "ReportLayout.h"

namespace sqda::report {

QString bandKindName(BandKind kind)
{
    switch (kind) {
    case BandKind::Title:
        return QStringLiteral("标题");
    case BandKind::PageHeader:
        return QStringLiteral("页眉");
    case BandKind::MasterData:
        return QStringLiteral("主项数据");
    case BandKind::ColumnFooter:
        return QStringLiteral("栏目注脚");
    case BandKind::PageFooter:
        return QStringLiteral("页注脚");
    case BandKind::MasterFooter:
        return QStringLiteral("主项注脚");
    }
    return {};
}

QString RichText::plainText() const
{
    QString out;
    for (size_t i = 0; i < paragraphs.size(); ++i) {
        if (i)
            out += u'\n';
        for (const TextRun &run : paragraphs[i].runs)
            out += run.text;
    }
    return out;
}

const Band *LayoutPage::band(BandKind kind) const
{
    for (const Band &b : bands)
        if (b.kind == kind && b.visible)
            return &b;
    return nullptr;
}

Band *LayoutPage::band(BandKind kind)
{
    for (Band &b : bands)
        if (b.kind == kind && b.visible)
            return &b;
    return nullptr;
}

int LayoutPage::bandHeight(BandKind kind) const
{
    const Band *b = band(kind);
    return b ? b->height : 0;
}

int ReportLayout::fontIndex(const FontSpec &font)
{
    for (size_t i = 0; i < fonts.size(); ++i)
        if (fonts[i] == font)
            return int(i);
    fonts.push_back(font);
    return int(fonts.size() - 1);
}

} // namespace sqda::report
