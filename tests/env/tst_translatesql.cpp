// SQL Server text rewritten for DB2 hosts: a plain textual rewrite, literals and
// longer names included, that must keep every other character as it was.
#include "EnvTests.h"

#include "env/TranslateSql.h"

#include <QTest>

using namespace sqda;

class TestTranslateSql : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void translate_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("schema");
        QTest::addColumn<QString>("expected");

        const QString db2 = QStringLiteral("DB2");
        // The worked examples.
        QTest::newRow("isnull and len") << "select isnull(f_sqmc,'') from tbsqda where len(f_sqbm)=4" << db2 << ""
                                        << "select Coalesce(f_sqmc,'') from tbsqda where Length(f_sqbm)=4";
        QTest::newRow("substring") << "SELECT SUBSTRING(F_SQBM,1,2) FROM TBSQDA" << db2 << ""
                                   << "SELECT substr(F_SQBM,1,2) FROM tbSQDA";
        QTest::newRow("schema trimmed") << "SELECT SUBSTRING(F_SQBM,1,2) FROM TBSQDA" << db2 << " ADM "
                                        << "SELECT substr(F_SQBM,1,2) FROM ADM.tbSQDA";
        QTest::newRow("blank comma equals")
            << "select a.f_sqmc from tbsqda a,TbBmda b where a.f_bmbm=TbBmda.f_bmbm" << db2 << "ADM"
            << "select a.f_sqmc from ADM.tbsqda a,ADM.tbBmda b where a.f_bmbm=ADM.tbBmda.f_bmbm";
        QTest::newRow("inside a literal") << "select * from tbsqda where f_sqmc like '% TBX%'" << db2 << ""
                                          << "select * from tbsqda where f_sqmc like '% tbX%'";
        QTest::newRow("end of a longer name") << "select datalen(f_sqmc) from tbsqda" << db2 << ""
                                              << "select dataLength(f_sqmc) from tbsqda";
        QTest::newRow("sql server unchanged") << "select IsNull(f_sqmc,'') from tbsqda"
                                              << "SQLSERVER"
                                              << "ADM"
                                              << "select IsNull(f_sqmc,'') from tbsqda";

        // Kinds are compared exactly.
        QTest::newRow("oracle unchanged") << "select len(x) from tbsqda"
                                          << "ORACLE"
                                          << ""
                                          << "select len(x) from tbsqda";
        QTest::newRow("lower-case db2 is not DB2") << "select len(x) from tbsqda"
                                                   << "db2"
                                                   << ""
                                                   << "select len(x) from tbsqda";
        QTest::newRow("empty db2") << "" << db2 << "ADM"
                                   << "";
        QTest::newRow("empty sqlserver") << ""
                                         << "SQLSERVER"
                                         << "ADM"
                                         << "";

        QTest::newRow("blank before parenthesis") << "select isnull (a,0), len (b) from t" << db2 << ""
                                                  << "select isnull (a,0), len (b) from t";
        QTest::newRow("table at the very start") << "TBSQDA where x=1" << db2 << "ADM"
                                                 << "TBSQDA where x=1";
        QTest::newRow("blank schema") << "select * from tbsqda" << db2 << " \t "
                                      << "select * from tbsqda";
        QTest::newRow("substring any case") << "SubString(a,1,1), substring(b,1,1)" << db2 << ""
                                            << "substr(a,1,1), substr(b,1,1)";
        QTest::newRow("coalesce already there") << "select COALESCE(a,0) from t" << db2 << ""
                                                << "select COALESCE(a,0) from t";
        // Replacements are never searched again in the same pass, even when the
        // prefix itself holds the pattern.
        QTest::newRow("prefix holding the pattern") << "select * from tbsqda" << db2 << "S TB"
                                                    << "select * from S TB.tbsqda";
        QTest::newRow("adjacent matches") << "isnull(isnull(a,b),c)" << db2 << ""
                                          << "Coalesce(Coalesce(a,b),c)";
        // Chinese text keeps its characters; only ASCII letters fold for the search.
        QTest::newRow("chinese text") << "select * from tb商圈 where f_sqmc='东城 tb区' and len(名称)=2" << db2 << ""
                                      << "select * from tb商圈 where f_sqmc='东城 tb区' and Length(名称)=2";
        QTest::newRow("non-ascii letters do not fold") << "select ísnull(a) from ťb" << db2 << ""
                                                       << "select ísnull(a) from ťb";
    }

    void translate()
    {
        QFETCH(QString, sql);
        QFETCH(QString, kind);
        QFETCH(QString, schema);
        QFETCH(QString, expected);
        const QString sqlBefore = sql;
        QCOMPARE(TranslateSql(sql, kind, schema), expected);
        QCOMPARE(sql, sqlBefore);
    }
};

int runTranslateSqlTests(int argc, char **argv)
{
    TestTranslateSql t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_translatesql.moc"
