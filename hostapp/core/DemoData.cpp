#include "DemoData.h"

#include "SqlExec.h"

#include <QStringList>

namespace kalmora {

namespace {

struct Region
{
    const char *name;
    QStringList districts;
};

QString utf8(const char *s)
{
    return QString::fromUtf8(s);
}

QString code(int n, int width)
{
    return QStringLiteral("%1").arg(n, width, 10, QLatin1Char('0'));
}

// One department's areas: regions (level 1), their districts (level 2), and
// below each district some generated business areas (level 3) and, where the
// structure has a fourth level, their parts (level 4). The counts vary with
// the position so the tree has leaves at every depth.
void addAreas(QList<DemoData::Area> &out, const QString &dept, const QString &levels, const QList<Region> &regions,
    const QStringList &areaKinds, const QStringList &parts)
{
    const int w2 = levels[1].digitValue();
    const int w3 = levels.size() > 2 ? levels[2].digitValue() : 0;
    const int w4 = levels.size() > 3 ? levels[3].digitValue() : 0;
    for (int i = 0; i < regions.size(); ++i) {
        const QString c1 = code(i + 1, levels[0].digitValue());
        out.push_back({ dept, c1, utf8(regions[i].name), 1, 0 });
        const QStringList &districts = regions[i].districts;
        for (int j = 0; j < districts.size(); ++j) {
            const QString c2 = c1 + code(j + 1, w2);
            out.push_back({ dept, c2, districts[j], 2, 0 });
            if (!w3)
                continue;
            const int kinds = 1 + (i + j) % std::min<int>(3, int(areaKinds.size()));
            for (int k = 0; k < kinds; ++k) {
                const QString kind = areaKinds[(i + j + k) % areaKinds.size()];
                const QString c3 = c2 + code(k + 1, w3);
                out.push_back({ dept, c3, districts[j] + kind + QStringLiteral("商圈"), 3, 0 });
                if (!w4)
                    continue;
                const int count = (i * 3 + j * 2 + k) % (int(parts.size()) + 1);
                for (int m = 0; m < count; ++m)
                    out.push_back({ dept, c3 + code(m + 1, w4), districts[j] + kind + parts[m], 4, 0 });
            }
        }
    }
}

} // namespace

QList<DemoData::Department> DemoData::departments()
{
    return {
        { QStringLiteral("0101"), QStringLiteral("上海连锁总部"), QStringLiteral("2223") },
        { QStringLiteral("0102"), QStringLiteral("苏州分公司"), QStringLiteral("222") },
        { QStringLiteral("0201"), QStringLiteral("杭州分公司"), QStringLiteral("232") },
        { QStringLiteral("0301"), QStringLiteral("南京分公司"), QStringLiteral("2222") },
    };
}

QList<DemoData::Area> DemoData::areas()
{
    QList<Area> out;
    const QList<Region> shanghai {
        { "黄浦区", { "南京东路", "人民广场", "外滩", "豫园", "淮海中路", "新天地" } },
        { "徐汇区", { "徐家汇", "衡山路", "田林", "漕河泾", "华泾" } },
        { "静安区", { "南京西路", "静安寺", "大宁", "彭浦", "曹家渡" } },
        { "长宁区", { "中山公园", "虹桥", "天山", "古北" } },
        { "浦东新区", { "陆家嘴", "八佰伴", "张江", "金桥", "川沙", "世纪公园", "三林" } },
        { "杨浦区", { "五角场", "控江路", "新江湾城", "平凉路" } },
        { "虹口区", { "四川北路", "北外滩", "曲阳", "凉城" } },
        { "闵行区", { "莘庄", "七宝", "虹桥枢纽", "颛桥", "梅陇" } },
    };
    addAreas(out, QStringLiteral("0101"), QStringLiteral("2223"), shanghai,
        { QStringLiteral("步行街"), QStringLiteral("地铁站"), QStringLiteral("社区"), QStringLiteral("写字楼"),
            QStringLiteral("购物中心") },
        { QStringLiteral("东片区"), QStringLiteral("西片区"), QStringLiteral("南片区"), QStringLiteral("北片区") });

    const QList<Region> suzhou {
        { "姑苏区", { "观前街", "石路", "平江路", "南门" } },
        { "工业园区", { "湖东", "湖西", "独墅湖", "唯亭" } },
        { "吴中区", { "木渎", "东山", "郭巷" } },
        { "相城区", { "元和", "黄桥" } },
        { "虎丘区", { "狮山", "浒墅关", "枫桥" } },
    };
    addAreas(out, QStringLiteral("0102"), QStringLiteral("222"), suzhou,
        { QStringLiteral("商业街"), QStringLiteral("社区"), QStringLiteral("农贸市场") }, {});

    const QList<Region> hangzhou {
        { "上城区", { "湖滨", "南宋御街", "钱江新城", "四季青" } },
        { "拱墅区", { "武林", "大关", "运河" } },
        { "西湖区", { "黄龙", "文三路", "西溪", "转塘" } },
        { "滨江区", { "星光大道", "长河" } },
        { "余杭区", { "未来科技城", "良渚", "临平" } },
    };
    addAreas(out, QStringLiteral("0201"), QStringLiteral("232"), hangzhou,
        { QStringLiteral("商业街"), QStringLiteral("社区") }, {});

    // Leaf flags: an area is a leaf unless the next one in code order lies below it.
    for (qsizetype i = 0; i < out.size(); ++i) {
        const bool hasChild = i + 1 < out.size() && out[i + 1].department == out[i].department
            && out[i + 1].code.size() > out[i].code.size() && out[i + 1].code.startsWith(out[i].code);
        out[i].leaf = hasChild ? 0 : 1;
    }
    return out;
}

QList<DemoData::Parameter> DemoData::parameters()
{
    // Every key the screens can ask for, with values a small chain would have.
    static const char *const rows[][3] = {
        { "dwlx", "01", "单位类型（00 单店，01 连锁总部，02 连锁门店，03 配送中心，11 加盟店）" },
        { "qyny", "202401", "启用年月" },
        { "rqssj", "00:00:00", "日起始时间" },
        { "dybm", "0101", "连锁编码及前台销售柜组编码（会话按所属部门改写）" },
        { "dwmc", "卡尔莫拉连锁商业有限公司", "单位名称" },
        { "ysjscdjdbm", "0101", "验收价生成定价单部门" },
        { "sjkbbh", "5.2.0", "数据库版本号" },
        { "hykls", "1", "会员卡连锁" },
        { "djfgfs", "0", "单据分隔方式" },
        { "ysqr", "1", "验收确认" },
        { "ypthphkz", "1", "药品退货批号控制" },
        { "sh", "91310101MA1K8X6Q3B", "税号" },
        { "dz", "上海市黄浦区南京东路 100 号", "单位地址" },
        { "fgckjb", "2", "分割仓库级别" },
        { "sphsfs", "1", "商品核算方式" },
        { "jsxtfs", "1", "结算系统方式" },
        { "pslssj", "0", "配送零售价" },
        { "jjcbhsff", "1", "进价成本核算方法" },
        { "sjcbhsff", "1", "售价成本核算方法" },
        { "psxzsl", "100000", "配送限制数量" },
        { "xsxzsl", "100000", "销售限制数量" },
        { "jhxzsl", "100000", "进货限制数量" },
        { "cbjzfs", "1", "成本结转方式" },
        { "lxdh", "021-63210000", "联系电话" },
        { "khh", "中国工商银行上海市南京东路支行", "开户行" },
        { "zh", "1001234567890123456", "账号" },
        { "sljd", "3", "数量精度（小数位数）" },
        { "jjkz", "0", "进价控制" },
        { "lskz", "1", "连锁控制" },
        { "kpyxcfsp", "1", "开票允许重复商品" },
        { "cpzkspyzbkz", "0", "超品种扣率商品由总部控制" },
        { "jzscltjbc", "0", "记账时处理调价补差" },
        { "jzsclyxjjsxzpzdp", "0", "记账时处理有效进价时须指定品种单品" },
        { "psysjscdjd", "0", "配送验收价生成定价单" },
        { "cskz", "0", "厂商控制" },
        { "zrrkz", "0", "责任人控制" },
        { "dddyhs", "20", "订货单打印行数" },
        { "spfzflx", "0", "商品分组分类型" },
        { "brddyhs", "20", "拨入单打印行数" },
        { "brdhscfs", "1", "拨入单号生成方式" },
        { "dddysjj", "0", "订单打印售价金额" },
        { "psdahsfg", "1", "配送单按核算分隔" },
        { "ysdahsfg", "1", "验收单按核算分隔" },
        { "xsdahsfg", "1", "销售单按核算分隔" },
        { "bcddyhs", "20", "拨出单打印行数" },
        { "tjddyhs", "20", "调价单打印行数" },
        { "bcdhscfs", "1", "拨出单号生成方式" },
        { "sgddyhs", "20", "上柜（直配）单打印行数" },
        { "sgdhscfs", "1", "上柜（直配）单号生成方式" },
        { "ykddyhs", "20", "移库单打印行数" },
        { "ykdhscfs", "1", "移库单号生成方式" },
        { "dbddyhs", "20", "调拨单打印行数" },
        { "dbdhscfs", "1", "调拨单号生成方式" },
        { "jgddyhs", "20", "加工单打印行数" },
        { "jgdhscfs", "1", "加工单号生成方式" },
        { "tbddyhs", "20", "退补单打印行数" },
        { "tbdhscfs", "1", "退补单号生成方式" },
        { "syddyhs", "20", "损溢单打印行数" },
        { "sydhscfs", "1", "损溢单号生成方式" },
        { "ysddyhs", "20", "验收单打印行数" },
        { "ysdhscfs", "1", "验收单号生成方式" },
        { "pdbdyhs", "20", "盘点单打印行数" },
        { "pdbhscfs", "1", "盘点单号生成方式" },
        { "thddyhs", "20", "提货单打印行数" },
        { "ptfpdyhs", "10", "普通发票打印行数" },
        { "thcpbxxdythqd", "0", "退货出票必须先打印退货清单" },
        { "zjdyfs", "0", "整件打印方式" },
        { "ddysfs", "0", "订单验收方式" },
        { "hsdwh", "01", "核算单位号" },
        { "dpckbm", "01", "代配仓库编码" },
        { "dpjfs", "0", "代配价方式" },
        { "thjjclfs", "0", "退货进价处理方式" },
        { "ddyszzfs", "0", "订单验收终止方式" },
        { "ddyxrqqy", "0", "订单有效日期启用" },
        { "ysfs", "0", "验收方式" },
        { "khzqqy", "0", "客户账期启用" },
        { "zkhwlqy", "0", "总客户往来启用" },
        { "hykxc", "0", "会员卡限次" },
        { "xsfkz", "0", "小数分控制" },
        { "kckz", "1", "库存控制" },
        { "hyklwms", "0", "会员卡联网模式" },
        { "yckqzj", "0", "远程卡前置机" },
        { "mdzdysj", "0", "门店自定义售价" },
        { "mdzdyjj", "0", "门店自定义进价" },
        { "dchy", "0", "多仓会员" },
        { "xstbqyrq", "", "销售同步启用日期" },
        { "ddbrkz", "0", "订单拨入控制" },
        { "ypphqy", "0", "药品批号启用" },
        { "zmqy", "0", "账目启用" },
        { "djphmrz", "0", "单据批号默认值" },
        { "ypphchsclfs", "0", "药品批号冲红时处理方式" },
        { "sxcycbft", "0", "生鲜差异成本分摊" },
        { "sxqmpkc", "0", "生鲜期末盘库存" },
        { "xpdjmrsl", "17", "销项单价默认税率" },
        { "zbbm", "01", "总部编码" },
        { "dztqy", "0", "电子台启用" },
        { "ddzxqy", "0", "订单执行启用" },
        { "psfpbdyhs", "25", "配送发票表打印行数" },
        { "jjbkzzxzbjj", "0", "进价不控制执行总部进价" },
        { "fmlspyjzdsy", "0", "非毛利商品以进价自动损溢" },
        { "sxpdsyflfs", "0", "生鲜盘点损溢分类方式" },
        { "sxpdsyfzfl", "0", "生鲜盘点损溢分组分类" },
        { "ddzxyslxsl", "0", "订单执行验收零星数量" },
        { "ddsczb", "0", "订单上传总部" },
        { "pdyxcfsp", "1", "盘点允许重复商品" },
        { "ysxzpssp", "0", "验收限制配送商品" },
        { "jekzsptj", "0", "金额控制商品调价" },
        { "mdqyrjxstb", "0", "门店启用日结销售同步" },
        { "jzsjzdtj", "0", "记账时间自动调节" },
    };
    QList<Parameter> out;
    for (const auto &r : rows)
        out.push_back({ utf8(r[0]), utf8(r[1]), utf8(r[2]) });
    return out;
}

QList<DemoData::Operator> DemoData::operators()
{
    return {
        { QStringLiteral("0001"), QStringLiteral("张伟") },
        { QStringLiteral("0002"), QStringLiteral("王芳") },
        { QStringLiteral("0003"), QStringLiteral("李娜") },
        { QStringLiteral("0004"), QStringLiteral("刘洋") },
        { QStringLiteral("0005"), QStringLiteral("陈静") },
        { QStringLiteral("9999"), QStringLiteral("系统管理员") },
    };
}

void DemoData::seed(const QSqlDatabase &db)
{
    const QString failed = QStringLiteral("写入演示数据时出错。");
    for (const Department &d : departments())
        runSql(db, QStringLiteral("insert into tbsqfj (f_bmbm, f_bmmc, f_fjjg) values (?, ?, ?)"),
            { d.code, d.name, d.levels }, failed);
    for (const Area &a : areas())
        runSql(db, QStringLiteral("insert into tbsqda (f_bmbm, f_sqbm, f_sqmc, f_jb, f_mj) values (?, ?, ?, ?, ?)"),
            { a.department, a.code, a.name, a.level, a.leaf }, failed);
    for (const Parameter &p : parameters())
        runSql(db, QStringLiteral("insert into tbxtcs (f_csmc, f_csz, f_cssm) values (?, ?, ?)"),
            { p.key, p.value, p.description }, failed);
    for (const Operator &o : operators())
        runSql(db, QStringLiteral("insert into tbzyda (f_zybm, f_zymc) values (?, ?)"), { o.code, o.name }, failed);
}

} // namespace kalmora
