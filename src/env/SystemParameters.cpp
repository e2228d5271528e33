#include "env/SystemParameters.h"

#include "env/NumberText.h"
#include "env/Utilities.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

namespace sqda {

namespace {

constexpr bool ExactCase = true;
constexpr int Always = ParameterRule::Always;

// Processing order is the host's: it decides which message a user sees when
// several keys are missing.
const ParameterRule rules[] = {
    { Always, "dwlx", &TsysmsgInfo::dwlx, ParamRule::Text, OnMissing::Fail, "没有可利用的单位类型！" },
    { 0, "qyny", &TsysmsgInfo::qyny, ParamRule::Text, OnMissing::Fail, "没有可利用的启用年月！" },
    { 39, "rqssj", &TsysmsgInfo::rqssj, ParamRule::Text, OnMissing::Fail, "取得日起始时间时出错！" },
    { 13, "dybm", &TsysmsgInfo::dybm, ParamRule::DeptCode, OnMissing::Fail,
        "没有可利用的连锁编码及前台销售柜组编码！" },
    { 5, "dwmc", &TsysmsgInfo::dwmc, ParamRule::Text, OnMissing::Fail, "没有可利用的单位名称！" },
    { 74, "ysjscdjdbm", &TsysmsgInfo::ysjscdjdbm, ParamRule::Text, OnMissing::Fail,
        "没有可利用的验收价生成定价单部门！" },
    { 71, "sjkbbh", &TsysmsgInfo::sjkbbh, ParamRule::Text, OnMissing::Fail, "没有可利用的数据库版本号！" },
    { 70, "hykls", &TsysmsgInfo::hykls, ParamRule::Text, OnMissing::Fail, "没有可利用的会员卡连锁！" },
    { 76, "djfgfs", &TsysmsgInfo::djfgfs, ParamRule::Text, OnMissing::Default, "0" },
    { 11, "ysqr", &TsysmsgInfo::ysqr, ParamRule::OneOrZero, OnMissing::Fail, "没有可利用的验收确认！" },
    { 22, "ypthphkz", &TsysmsgInfo::ypthphkz, ParamRule::OneOrZero, OnMissing::Default, "1", ExactCase },
    { 6, "sh", &TsysmsgInfo::sh, ParamRule::Text, OnMissing::Fail, "没有可利用的税号！" },
    { 7, "dz", &TsysmsgInfo::dz, ParamRule::Text, OnMissing::Fail, "没有可利用的单位地址！" },
    { 18, "fgckjb", &TsysmsgInfo::fgckjb, ParamRule::Number, OnMissing::Fail, "没有可利用的分割仓库级别！" },
    { 19, "sphsfs", &TsysmsgInfo::sphsfs, ParamRule::AccountingMethod, OnMissing::Fail, "没有可利用的商品核算方式！" },
    { 61, "jsxtfs", &TsysmsgInfo::jsxtfs, ParamRule::Number, OnMissing::Fail, "没有可利用的结算系统方式！" },
    { 62, "pslssj", &TsysmsgInfo::pslssj, ParamRule::Text, OnMissing::Default, "0" },
    { 20, "jjcbhsff", &TsysmsgInfo::jjcbhsff, ParamRule::Number, OnMissing::Fail, "没有可利用的进价成本核算方法！" },
    { 21, "sjcbhsff", &TsysmsgInfo::sjcbhsff, ParamRule::Number, OnMissing::Fail, "没有可利用的售价成本核算方法！" },
    { 77, "psxzsl", &TsysmsgInfo::psxzsl, ParamRule::BlankIsLimit, OnMissing::Default, "100000" },
    { 78, "xsxzsl", &TsysmsgInfo::xsxzsl, ParamRule::BlankIsLimit, OnMissing::Default, "100000" },
    { 79, "jhxzsl", &TsysmsgInfo::jhxzsl, ParamRule::BlankIsLimit, OnMissing::Default, "100000" },
    { 23, "cbjzfs", &TsysmsgInfo::cbjzfs, ParamRule::Number, OnMissing::Fail, "没有可利用的成本结转方式！" },
    { 8, "lxdh", &TsysmsgInfo::lxdh, ParamRule::Text, OnMissing::Fail, "没有可利用的联系电话！" },
    { 9, "khh", &TsysmsgInfo::khh, ParamRule::Text, OnMissing::Fail, "没有可利用的开户行！" },
    { 10, "zh", &TsysmsgInfo::zh, ParamRule::Text, OnMissing::Fail, "没有可利用的账号！" },
    { 14, "sljd", &TsysmsgInfo::sljd, ParamRule::QuantityMask, OnMissing::Fail, "没有可利用的数量精度！" },
    { 16, "jjkz", &TsysmsgInfo::jjkz, ParamRule::Flag, OnMissing::Default, "0" },
    { 15, "lskz", &TsysmsgInfo::lskz, ParamRule::Flag, OnMissing::Fail, "没有可利用的连锁控制！" },
    { 73, "kpyxcfsp", &TsysmsgInfo::kpyxcfsp, ParamRule::Flag, OnMissing::Default, "1" },
    { 31, "cpzkspyzbkz", &TsysmsgInfo::cpzkspyzbkz, ParamRule::Text, OnMissing::Default, "0" },
    { 40, "jzscltjbc", &TsysmsgInfo::jzscltjbc, ParamRule::Text, OnMissing::Default, "0" },
    { 41, "jzsclyxjjsxzpzdp", &TsysmsgInfo::jzsclyxjjsxzpzdp, ParamRule::Text, OnMissing::Default, "0" },
    { 72, "psysjscdjd", &TsysmsgInfo::psysjscdjd, ParamRule::Flag, OnMissing::Fail,
        "没有可利用的配送验收价生成定价单！" },
    { 17, "cskz", &TsysmsgInfo::cskz, ParamRule::Flag, OnMissing::Fail, "没有可利用的厂商控制！" },
    { 25, "zrrkz", &TsysmsgInfo::zrrkz, ParamRule::Flag, OnMissing::Fail, "没有可利用的责任人控制！" },
    { 26, "dddyhs", &TsysmsgInfo::dddyhs, ParamRule::Number, OnMissing::Fail, "没有可利用的订货单打印行数！" },
    { 75, "spfzflx", &TsysmsgInfo::spfzflx, ParamRule::EmptyIsZero, OnMissing::Default, "0" },
    { 27, "brddyhs", &TsysmsgInfo::brddyhs, ParamRule::Number, OnMissing::Fail, "没有可利用的拨入单打印行数！" },
    { 28, "brdhscfs", &TsysmsgInfo::brdhscfs, ParamRule::Text, OnMissing::Fail, "没有可利用的拨入单号生成方式！" },
    { 80, "dddysjj", &TsysmsgInfo::dddysjj, ParamRule::Text, OnMissing::Default, "0" },
    { 50, "psdahsfg", &TsysmsgInfo::psdahsfg, ParamRule::Text, OnMissing::Default, "1" },
    { 51, "ysdahsfg", &TsysmsgInfo::ysdahsfg, ParamRule::Text, OnMissing::Default, "1" },
    { 52, "xsdahsfg", &TsysmsgInfo::xsdahsfg, ParamRule::Text, OnMissing::Default, "1" },
    { 29, "bcddyhs", &TsysmsgInfo::bcddyhs, ParamRule::Number, OnMissing::Fail, "没有可利用的拨出单打印行数！" },
    { 60, "tjddyhs", &TsysmsgInfo::tjddyhs, ParamRule::Number, OnMissing::Fail, "没有可利用的调价单打印行数！" },
    { 30, "bcdhscfs", &TsysmsgInfo::bcdhscfs, ParamRule::Text, OnMissing::Fail, "没有可利用的拨出单号生成方式！" },
    { 37, "sgddyhs", &TsysmsgInfo::sgddyhs, ParamRule::Number, OnMissing::Fail,
        "没有可利用的上柜（直配）单打印行数！" },
    { 38, "sgdhscfs", &TsysmsgInfo::sgdhscfs, ParamRule::Text, OnMissing::Fail,
        "没有可利用的上柜（直配）单号生成方式！" },
    { 44, "ykddyhs", &TsysmsgInfo::ykddyhs, ParamRule::Number, OnMissing::Fail, "没有可利用的移库单打印行数！" },
    { 45, "ykdhscfs", &TsysmsgInfo::ykdhscfs, ParamRule::Text, OnMissing::Fail, "没有可利用的移库单号生成方式！" },
    { 33, "dbddyhs", &TsysmsgInfo::dbddyhs, ParamRule::Number, OnMissing::Fail, "没有可利用的调拨单打印行数！" },
    { 34, "dbdhscfs", &TsysmsgInfo::dbdhscfs, ParamRule::Text, OnMissing::Fail, "没有可利用的调拨单号生成方式！" },
    { 35, "jgddyhs", &TsysmsgInfo::jgddyhs, ParamRule::Number, OnMissing::Fail, "没有可利用的加工单打印行数！" },
    { 36, "jgdhscfs", &TsysmsgInfo::jgdhscfs, ParamRule::Text, OnMissing::Fail, "没有可利用的加工单号生成方式！" },
    { 42, "tbddyhs", &TsysmsgInfo::tbddyhs, ParamRule::Number, OnMissing::Fail, "没有可利用的退补单打印行数！" },
    { 43, "tbdhscfs", &TsysmsgInfo::tbdhscfs, ParamRule::Text, OnMissing::Fail, "没有可利用的退补单号生成方式！" },
    { 46, "syddyhs", &TsysmsgInfo::syddyhs, ParamRule::Number, OnMissing::Fail, "没有可利用的损溢单打印行数！" },
    { 47, "sydhscfs", &TsysmsgInfo::sydhscfs, ParamRule::Text, OnMissing::Fail, "没有可利用的损溢单号生成方式！" },
    { 48, "ysddyhs", &TsysmsgInfo::ysddyhs, ParamRule::Number, OnMissing::Fail, "没有可利用的验收单打印行数！" },
    { 49, "ysdhscfs", &TsysmsgInfo::ysdhscfs, ParamRule::Text, OnMissing::Fail, "没有可利用的验收单号生成方式！" },
    { 54, "pdbdyhs", &TsysmsgInfo::pdbdyhs, ParamRule::Number, OnMissing::Fail, "没有可利用的盘点单打印行数！" },
    { 53, "pdbhscfs", &TsysmsgInfo::pdbhscfs, ParamRule::Text, OnMissing::Fail, "没有可利用的盘点单号生成方式！" },
    { 55, "thddyhs", &TsysmsgInfo::thddyhs, ParamRule::Number, OnMissing::Fail, "没有可利用的提货单打印行数！" },
    { 56, "ptfpdyhs", &TsysmsgInfo::ptfpdyhs, ParamRule::Number, OnMissing::Fail, "没有可利用的普通发票打印行数！" },
    { 57, "thcpbxxdythqd", &TsysmsgInfo::thcpbxxdythqd, ParamRule::Text, OnMissing::Fail,
        "没有可利用的退货出票必须先打印退货清单！" },
    { 58, "zjdyfs", &TsysmsgInfo::zjdyfs, ParamRule::Text, OnMissing::Fail, "没有可利用的整件打印方式！" },
    { 59, "ddysfs", &TsysmsgInfo::ddysfs, ParamRule::Text, OnMissing::Fail, "没有可利用的订单验收方式！" },
    { 63, "hsdwh", &TsysmsgInfo::hsdwh, ParamRule::Text, OnMissing::Fail, "没有可利用的核算单位号！" },
    { 64, "dpckbm", &TsysmsgInfo::dpckbm, ParamRule::Text, OnMissing::Fail, "没有可利用的代配仓库编码！" },
    { 65, "dpjfs", &TsysmsgInfo::dpjfs, ParamRule::Text, OnMissing::Fail, "没有可利用的代配价方式！" },
    { 66, "thjjclfs", &TsysmsgInfo::thjjclfs, ParamRule::Text, OnMissing::Fail, "没有可利用的退货进价处理方式！" },
    { 67, "ddyszzfs", &TsysmsgInfo::ddyszzfs, ParamRule::Number, OnMissing::Fail, "没有可利用的订单验收终止方式！" },
    { 68, "ddyxrqqy", &TsysmsgInfo::ddyxrqqy, ParamRule::Number, OnMissing::Fail, "没有可利用的订单有效日期启用！" },
    { 69, "ysfs", &TsysmsgInfo::ysfs, ParamRule::Number, OnMissing::Fail, "没有可利用的验收方式！" },
    { 81, "khzqqy", &TsysmsgInfo::khzqqy, ParamRule::Text, OnMissing::Fail, "没有可利用的客户账期启用！" },
    { 82, "zkhwlqy", &TsysmsgInfo::zkhwlqy, ParamRule::Text, OnMissing::Fail, "没有可利用的总客户往来启用！" },
    { 83, "hykxc", &TsysmsgInfo::hykxc, ParamRule::EmptyIsZero, OnMissing::Default, "0" },
    { 84, "xsfkz", &TsysmsgInfo::xsfkz, ParamRule::Number, OnMissing::Fail, "没有可利用的小数分控制！" },
    { 85, "kckz", &TsysmsgInfo::kckz, ParamRule::Text, OnMissing::Default, "1" },
    { 86, "hyklwms", &TsysmsgInfo::hyklwms, ParamRule::Text, OnMissing::Fail, "没有可利用的会员卡联网模式！" },
    { 87, "yckqzj", &TsysmsgInfo::yckqzj, ParamRule::Text, OnMissing::Fail, "没有可利用的远程卡前置机！" },
    { 89, "mdzdysj", &TsysmsgInfo::mdzdysj, ParamRule::Flag, OnMissing::Default, "0" },
    { 89, "mdzdyjj", &TsysmsgInfo::mdzdyjj, ParamRule::DependentFlag, OnMissing::Default, "0" },
    { 90, "dchy", &TsysmsgInfo::dchy, ParamRule::Flag, OnMissing::Default, "0" },
    { 91, "xstbqyrq", &TsysmsgInfo::xstbqyrq, ParamRule::Text, OnMissing::Default, "" },
    { 92, "ddbrkz", &TsysmsgInfo::ddbrkz, ParamRule::Flag, OnMissing::Default, "0" },
    { 93, "ypphqy", &TsysmsgInfo::ypphqy, ParamRule::Text, OnMissing::Default, "0" },
    { 94, "zmqy", &TsysmsgInfo::zmqy, ParamRule::Text, OnMissing::Default, "0" },
    { 95, "djphmrz", &TsysmsgInfo::djphmrz, ParamRule::Text, OnMissing::Default, "0" },
    { 96, "ypphchsclfs", &TsysmsgInfo::ypphchsclfs, ParamRule::Text, OnMissing::Default, "0" },
    { 97, "sxcycbft", &TsysmsgInfo::sxcycbft, ParamRule::Text, OnMissing::Default, "0" },
    { 98, "sxqmpkc", &TsysmsgInfo::sxqmpkc, ParamRule::Text, OnMissing::Default, "0" },
    { 99, "xpdjmrsl", &TsysmsgInfo::xpdjmrsl, ParamRule::Real, OnMissing::Default, "17" },
    { 100, "zbbm", &TsysmsgInfo::zbbm, ParamRule::Text, OnMissing::Default, "" },
    { 101, "dztqy", &TsysmsgInfo::dztqy, ParamRule::Flag, OnMissing::Default, "0" },
    { 102, "ddzxqy", &TsysmsgInfo::ddzxqy, ParamRule::Flag, OnMissing::Default, "0" },
    { 103, "psfpbdyhs", &TsysmsgInfo::psfpbdyhs, ParamRule::Number, OnMissing::Default, "25" },
    { 104, "jjbkzzxzbjj", &TsysmsgInfo::jjbkzzxzbjj, ParamRule::Flag, OnMissing::Default, "0" },
    { 105, "fmlspyjzdsy", &TsysmsgInfo::fmlspyjzdsy, ParamRule::Flag, OnMissing::Default, "0" },
    { 106, "sxpdsyflfs", &TsysmsgInfo::sxpdsyflfs, ParamRule::Number, OnMissing::Default, "0" },
    { 107, "sxpdsyfzfl", &TsysmsgInfo::sxpdsyfzfl, ParamRule::Number, OnMissing::Default, "0" },
    { 108, "ddzxyslxsl", &TsysmsgInfo::ddzxyslxsl, ParamRule::Text, OnMissing::Default, "0" },
    { 109, "ddsczb", &TsysmsgInfo::ddsczb, ParamRule::Flag, OnMissing::Default, "0" },
    { 110, "pdyxcfsp", &TsysmsgInfo::pdyxcfsp, ParamRule::Flag, OnMissing::Default, "1" },
    { 32, "ysxzpssp", &TsysmsgInfo::ysxzpssp, ParamRule::Flag, OnMissing::Default, "0" },
    { 111, "jekzsptj", &TsysmsgInfo::jekzsptj, ParamRule::Flag, OnMissing::Default, "0" },
    { 112, "mdqyrjxstb", &TsysmsgInfo::mdqyrjxstb, ParamRule::Flag, OnMissing::Default, "0" },
    { 113, "jzsjzdtj", &TsysmsgInfo::jzsjzdtj, ParamRule::Flag, OnMissing::Default, "0" },
};

// Longer masks than this are no precision anyone keeps, and a huge value would
// only exhaust memory building the text.
constexpr int MaxQuantityDecimals = 255;

using ParameterValue = std::variant<QString, qint32, bool, double>;

QString u8(const char *s)
{
    return QString::fromUtf8(s);
}

bool isFrontCounterUnit(const QString &dwlx)
{
    return dwlx == QLatin1String("02") || dwlx == QLatin1String("01") || dwlx == QLatin1String("11");
}

std::optional<qint32> toInt32(const QString &text)
{
    const std::optional<qint64> v = parseInt64Text(text);
    if (!v || *v < std::numeric_limits<qint32>::min() || *v > std::numeric_limits<qint32>::max())
        return std::nullopt;
    return qint32(*v);
}

Result<qint32> wholeNumber(const ParameterRule &r, const QString &value)
{
    if (const auto v = toInt32(value))
        return *v;
    return Error { QStringLiteral("系统参数 %1 的值“%2”不是有效的整数！").arg(u8(r.key), value) };
}

// A whole-number result as a parameter value, or its error.
Result<ParameterValue> asValue(Result<qint32> n)
{
    if (!n)
        return Error { n.error() };
    return ParameterValue(*n);
}

Result<ParameterValue> convert(const ParameterRule &r, const QString &value, const TsysmsgInfo &info)
{
    switch (r.rule) {
    case ParamRule::Text:
    case ParamRule::DeptCode:
        return ParameterValue(value);
    case ParamRule::Number:
    case ParamRule::AccountingMethod:
        return asValue(wholeNumber(r, value));
    case ParamRule::Flag:
        return ParameterValue(value == QLatin1String("1"));
    case ParamRule::DependentFlag:
        return ParameterValue(info.mdzdysj && value == QLatin1String("1"));
    case ParamRule::OneOrZero:
        return ParameterValue(value == QLatin1String("1") ? QStringLiteral("1") : QStringLiteral("0"));
    case ParamRule::BlankIsLimit:
        if (std::all_of(value.cbegin(), value.cend(), [](QChar c) { return c == u' '; }))
            return ParameterValue(qint32(100000));
        return asValue(wholeNumber(r, value));
    case ParamRule::EmptyIsZero:
        return value.isEmpty() ? ParameterValue(qint32(0)) : asValue(wholeNumber(r, value));
    case ParamRule::QuantityMask: {
        const Result<qint32> n = wholeNumber(r, value);
        if (!n)
            return Error { n.error() };
        if (*n > MaxQuantityDecimals)
            return Error { QStringLiteral("系统参数 %1 的值“%2”超出范围（最多 %3 位小数）！")
                               .arg(u8(r.key), value)
                               .arg(MaxQuantityDecimals) };
        return ParameterValue(QStringLiteral("0.") + ZeroPadNumber(*n, true, 0));
    }
    case ParamRule::Real: {
        bool ok = false;
        const double d = value.trimmed().toDouble(&ok);
        if (!ok || !qIsFinite(d))
            return Error { QStringLiteral("系统参数 %1 的值“%2”不是有效的数值！").arg(u8(r.key), value) };
        return ParameterValue(d);
    }
    }
    return ParameterValue(value);
}

void store(const ParameterRule &r, const ParameterValue &value, TsysmsgInfo &info)
{
    std::visit(
        [&](auto member) {
            using Field = std::remove_reference_t<decltype(info.*member)>;
            if (const Field *v = std::get_if<Field>(&value))
                info.*member = *v;
            else
                throw std::logic_error(std::string("parameter rule and field type disagree for ") + r.key);
        },
        r.field);
}

const QString *findValue(const QList<ParameterRow> &rows, const ParameterRule &r)
{
    const QString key = u8(r.key);
    const Qt::CaseSensitivity cs = r.exactCase ? Qt::CaseSensitive : Qt::CaseInsensitive;
    for (const ParameterRow &row : rows) {
        if (row.key.compare(key, cs) == 0)
            return &row.value; // the first row in packet order wins
    }
    return nullptr;
}

} // namespace

std::span<const ParameterRule> parameterRules()
{
    return rules;
}

Status applySystemParameters(const QList<ParameterRow> &rows, const SysmsgItems &items, TsysmsgInfo &info)
{
    for (const ParameterRule &r : rules) {
        if (r.item != ParameterRule::Always && !items.contains(r.item))
            continue;
        QString value;
        if (r.rule == ParamRule::DependentFlag && !info.mdzdysj) {
            value = QStringLiteral("0");
        } else if (const QString *found = findValue(rows, r)) {
            value = *found;
        } else if (r.rule == ParamRule::DeptCode && !isFrontCounterUnit(info.dwlx)) {
            value = QString();
        } else if (r.rule == ParamRule::AccountingMethod && info.dwlx == QLatin1String("00")) {
            value = QStringLiteral("1");
        } else if (r.onMissing == OnMissing::Fail) {
            return Error { u8(r.missing) };
        } else {
            value = u8(r.missing);
        }
        const Result<ParameterValue> converted = convert(r, value, info);
        if (!converted)
            return Error { converted.error() };
        store(r, *converted, info);
    }
    return Status();
}

} // namespace sqda
