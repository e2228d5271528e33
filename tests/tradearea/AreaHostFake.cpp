#include "AreaHostFake.h"

#include "data/ClientDataSet.h"

#include <QRegularExpression>

#include <algorithm>

namespace sqda::test {

namespace {

FieldDefs tbsqdaFields()
{
    return { { QStringLiteral("f_bmbm"), FieldType::String, 12, {} },
        { QStringLiteral("f_sqbm"), FieldType::String, 12, {} },
        { QStringLiteral("f_sqmc"), FieldType::String, 40, {} }, { QStringLiteral("f_jb"), FieldType::Int32, 0, {} },
        { QStringLiteral("f_mj"), FieldType::Int32, 0, {} } };
}

QVariant failWith(QVariantList &args, int index, const QString &message)
{
    args[index] = QVariantList { message };
    return false;
}

} // namespace

QString literalAfter(const QString &statement, const QString &key)
{
    const QRegularExpression re(QRegularExpression::escape(key) + QStringLiteral("='((?:[^']|'')*)'"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = re.match(statement);
    return m.hasMatch() ? m.captured(1).replace(QStringLiteral("''"), QStringLiteral("'")) : QString();
}

AreaHostFake::AreaHostFake(const QMap<QString, QString> &params)
    : service(FakeCoorDisp::create())
{
    service->setupEnvironment(params);
    const auto hooked = [this](int id, QVariant (AreaHostFake::*answer)(QVariantList &)) {
        service->on(id, [this, id, answer](QVariantList &a) {
            if (duringCall) {
                const auto hook = duringCall; // the hook may replace itself
                hook(id);
            }
            return (this->*answer)(a);
        });
    };
    hooked(DispQueryData, &AreaHostFake::queryData);
    hooked(DispGetCodeLevels, &AreaHostFake::codeLevels);
    hooked(DispCheckAreaCode, &AreaHostFake::checkAreaCode);
    hooked(DispInsertArea, &AreaHostFake::insertArea);
    hooked(DispDeleteArea, &AreaHostFake::deleteArea);
    hooked(DispExecuteSql, &AreaHostFake::executeSql);
}

AreaHostFake::~AreaHostFake()
{
    // The library may hold the service longer than this fixture lives.
    for (int id : { int(DispQueryData), int(DispGetCodeLevels), int(DispCheckAreaCode), int(DispInsertArea),
             int(DispDeleteArea), int(DispExecuteSql) })
        service->on(id, FakeCoorDisp::fail(0, QVariantList { QStringLiteral("fixture gone") }));
}

QVariant AreaHostFake::codeLevels(QVariantList &args)
{
    args[0] = levels;
    return true;
}

int AreaHostFake::levelOf(const QString &code) const
{
    int length = 0;
    for (int i = 0; i < levels.size(); ++i) {
        length += levels.at(i).digitValue();
        if (code.size() == length)
            return i + 1;
    }
    return 0;
}

QString AreaHostFake::parentOf(const QString &code) const
{
    const int level = levelOf(code);
    if (level <= 1)
        return {};
    int length = 0;
    for (int i = 0; i < level - 1; ++i)
        length += levels.at(i).digitValue();
    return code.left(length);
}

void AreaHostFake::add(const QString &code, const QString &name, int level, int leaf)
{
    rows << AreaRow { department, code, name, level ? level : levelOf(code), leaf };
}

QList<AreaRow> AreaHostFake::departmentRows() const
{
    QList<AreaRow> out;
    for (const AreaRow &r : rows) {
        if (r.dept == department)
            out << r;
    }
    std::sort(out.begin(), out.end(), [](const AreaRow &a, const AreaRow &b) { return a.code < b.code; });
    return out;
}

QByteArray AreaHostFake::treePacket(const QList<AreaRow> &rows)
{
    QList<QVariantList> values;
    for (const AreaRow &r : rows)
        values << QVariantList { r.dept, r.code, r.name, r.level, r.leaf };
    return makePacket(tbsqdaFields(), values);
}

AreaRow *AreaHostFake::find(const QString &dept, const QString &code)
{
    for (AreaRow &r : rows) {
        if (r.dept == dept && r.code == code)
            return &r;
    }
    return nullptr;
}

QVariant AreaHostFake::queryData(QVariantList &args)
{
    const QString sql = args.value(0).toString();
    const QString dept = literalAfter(sql, QStringLiteral("f_bmbm"));
    QList<AreaRow> out;
    if (sql.contains(QStringLiteral("f_sqbm="), Qt::CaseInsensitive)) {
        if (AreaRow *r = find(dept, literalAfter(sql, QStringLiteral("f_sqbm"))))
            out << *r;
    } else {
        for (const AreaRow &r : departmentRows()) {
            if (r.dept == dept)
                out << r;
        }
    }
    args[1] = treePacket(out);
    return true;
}

QVariant AreaHostFake::checkAreaCode(QVariantList &args)
{
    const QVariantList in = args.value(0).toList();
    const QString dept = in.value(0).toString(), code = in.value(1).toString();
    const int level = levelOf(code);
    if (level == 0)
        return failWith(args, 0, QStringLiteral("商圈编码长度不符合分级规则！"));
    if (find(dept, code))
        return failWith(args, 0, QStringLiteral("商圈编码已经存在！"));
    if (level > 1 && !find(dept, parentOf(code)))
        return failWith(args, 0, QStringLiteral("上级商圈不存在！"));
    args[0] = QVariantList { QStringLiteral("你想建立第%1级商圈吗？").arg(level), QString::number(level) };
    return true;
}

QVariant AreaHostFake::insertArea(QVariantList &args)
{
    ClientDataSet cds;
    if (const Status loaded = cds.loadPacket(args.value(0).toByteArray()); !loaded)
        return failWith(args, 0, loaded.error());
    AreaRow r { cds.fieldByName(u"f_bmbm")->asString(), cds.fieldByName(u"f_sqbm")->asString(),
        cds.fieldByName(u"f_sqmc")->asString(), cds.fieldByName(u"f_jb")->asInteger(),
        cds.fieldByName(u"f_mj")->asInteger() };
    const QString parent = parentOf(r.code);
    if (AreaRow *p = find(r.dept, parent))
        p->leaf = 0;
    rows << r;
    args[0] = parent;
    return true;
}

QVariant AreaHostFake::deleteArea(QVariantList &args)
{
    const QVariantList in = args.value(0).toList();
    const QString dept = in.value(0).toString(), code = in.value(1).toString();
    for (const AreaRow &r : rows) {
        if (r.dept == dept && r.code != code && parentOf(r.code) == code)
            return failWith(args, 0, QStringLiteral("该商圈有下级商圈，不能删除！"));
    }
    rows.removeIf([&](const AreaRow &r) { return r.dept == dept && r.code == code; });
    const QString parent = parentOf(code);
    if (AreaRow *p = find(dept, parent)) {
        const bool lastChild = std::none_of(rows.cbegin(), rows.cend(),
            [&](const AreaRow &r) { return r.dept == dept && r.code != parent && parentOf(r.code) == parent; });
        if (lastChild)
            p->leaf = 1;
    }
    return true;
}

QVariant AreaHostFake::executeSql(QVariantList &args)
{
    const QString sql = args.value(0).toString();
    AreaRow *r = find(literalAfter(sql, QStringLiteral("f_bmbm")), literalAfter(sql, QStringLiteral("f_sqbm")));
    if (!r)
        return failWith(args, 0, QStringLiteral("没有要修改的商圈！"));
    r->name = literalAfter(sql, QStringLiteral("f_sqmc"));
    return true;
}

} // namespace sqda::test
