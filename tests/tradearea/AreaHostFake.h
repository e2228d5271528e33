// A scripted host that keeps trade areas in memory and answers the maintenance
// screen's calls the way a real host would: the tree and record queries, the
// code check against a level structure, insert, delete and rename. Single calls
// can still be scripted on `service` with once() to make them fail.
#pragma once

#include "FakeCoorDisp.h"

#include <QList>
#include <QString>

#include <QString>
#include <functional>

namespace sqda::test {

struct AreaRow
{
    QString dept;
    QString code;
    QString name;
    int level = 1;
    int leaf = 1;
    bool operator==(const AreaRow &) const = default;
};

class AreaHostFake
{
public:
    // Answers the environment calls too; `params` as FakeCoorDisp::setupEnvironment.
    explicit AreaHostFake(const QMap<QString, QString> &params = FakeCoorDisp::defaultParameters());
    ~AreaHostFake();

    FakeCoorDisp::Ref service;
    QList<AreaRow> rows;
    QString levels = QStringLiteral("2223"); // per level, the length of its part of a code
    QString department = QStringLiteral("0101");
    // Runs inside every call of the screen's operations before it is answered,
    // as a host that processes events during a call (a COM host does) lets the
    // user and the host itself act meanwhile.
    std::function<void(int dispId)> duringCall;

    // Adds a row of `department` (level from the code's length unless given).
    void add(const QString &code, const QString &name, int level = 0, int leaf = 1);
    // The department's rows, in code order.
    QList<AreaRow> departmentRows() const;
    // A tree-load packet of explicit rows, sent in the given order.
    static QByteArray treePacket(const QList<AreaRow> &rows);

    // The level of a code under `levels`, 0 when its length fits no level.
    int levelOf(const QString &code) const;
    QString parentOf(const QString &code) const;

private:
    QVariant queryData(QVariantList &args);
    QVariant codeLevels(QVariantList &args);
    QVariant checkAreaCode(QVariantList &args);
    QVariant insertArea(QVariantList &args);
    QVariant deleteArea(QVariantList &args);
    QVariant executeSql(QVariantList &args);
    AreaRow *find(const QString &dept, const QString &code);
};

// The first SQL string literal after `key=` in a statement, unquoted.
QString literalAfter(const QString &statement, const QString &key);

} // namespace sqda::test
