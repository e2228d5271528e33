// The record of environment values and system parameters a screen asks for,
// and the set of item numbers that selects them.
#pragma once

#include <QString>

#include <bitset>
#include <initializer_list>

namespace sqda {

// Item numbers 0 to 113. 1-4 are environment items; the others select system
// parameters. 12, 24 and 88 are not assigned.
class SysmsgItems
{
public:
    SysmsgItems() = default;
    SysmsgItems(std::initializer_list<int> items)
    {
        for (int i : items)
            insert(i);
    }
    static constexpr int Count = 114;

    void insert(int item)
    {
        if (item >= 0 && item < Count)
            m_bits.set(size_t(item));
    }
    void remove(int item)
    {
        if (item >= 0 && item < Count)
            m_bits.reset(size_t(item));
    }
    bool contains(int item) const { return item >= 0 && item < Count && m_bits.test(size_t(item)); }
    bool isEmpty() const { return m_bits.none(); }

private:
    std::bitset<Count> m_bits;
};

// One flat record, owned by the screen that asks. Environment fields (server
// dates, database kind, operator) sit among the parameters in the host's order.
struct TsysmsgInfo
{
    QString qyny;
    QString ServerYearMonth;
    QString DbKind;
    QString ServerDateTime;
    QString ServerDate;
    QString OperatorCode;
    QString OperatorName;
    QString dwmc;
    QString sh;
    QString dz;
    QString lxdh;
    QString khh;
    QString zh;
    QString dwlx;
    QString dybm;
    QString hykls;
    QString sljd;
    bool lskz = false;
    bool jjkz = false;
    bool cskz = false;
    bool zrrkz = false;
    qint32 dddyhs = 0;
    qint32 sphsfs = 0;
    qint32 jjcbhsff = 0;
    qint32 sjcbhsff = 0;
    qint32 cbjzfs = 0;
    qint32 jsxtfs = 0;
    QString rqssj;
    qint32 fgckjb = 0;
    qint32 brddyhs = 0;
    QString brdhscfs;
    qint32 bcddyhs = 0;
    QString bcdhscfs;
    qint32 dbddyhs = 0;
    QString dbdhscfs;
    qint32 jgddyhs = 0;
    QString jgdhscfs;
    qint32 sgddyhs = 0;
    QString sgdhscfs;
    qint32 tbddyhs = 0;
    QString tbdhscfs;
    qint32 ykddyhs = 0;
    QString ykdhscfs;
    qint32 syddyhs = 0;
    QString sydhscfs;
    qint32 ysddyhs = 0;
    QString ysdhscfs;
    qint32 pdbdyhs = 0;
    QString pdbhscfs;
    QString psdahsfg;
    QString ysdahsfg;
    QString xsdahsfg;
    qint32 thddyhs = 0;
    qint32 tjddyhs = 0;
    qint32 ptfpdyhs = 0;
    qint32 spfzflx = 0;
    bool kpyxcfsp = false;
    QString djfgfs;
    qint32 psxzsl = 0;
    qint32 xsxzsl = 0;
    qint32 jhxzsl = 0;
    QString thcpbxxdythqd;
    QString zjdyfs;
    QString ddysfs;
    QString hsdwh;
    QString dpckbm;
    QString dpjfs;
    QString pslssj;
    QString thjjclfs;
    QString sjkbbh;
    bool psysjscdjd = false;
    QString ysjscdjdbm;
    qint32 ddyszzfs = 0;
    qint32 ddyxrqqy = 0;
    qint32 ysfs = 0;
    QString dddysjj;
    QString cpzkspyzbkz;
    QString jzscltjbc;
    QString jzsclyxjjsxzpzdp;
    QString ysqr;
    QString khzqqy;
    QString zkhwlqy;
    qint32 hykxc = 0;
    qint32 xsfkz = 0;
    QString kckz;
    QString hyklwms;
    QString yckqzj;
    bool mdzdyjj = false;
    bool mdzdysj = false;
    bool dchy = false;
    QString xstbqyrq;
    bool ddbrkz = false;
    QString ypphqy;
    QString zmqy;
    QString djphmrz;
    QString ypphchsclfs;
    QString ypthphkz;
    QString sxcycbft;
    QString sxqmpkc;
    double xpdjmrsl = 0.0;
    QString zbbm;
    bool dztqy = false;
    bool ddzxqy = false;
    qint32 psfpbdyhs = 0;
    bool jjbkzzxzbjj = false;
    bool fmlspyjzdsy = false;
    qint32 sxpdsyflfs = 0;
    qint32 sxpdsyfzfl = 0;
    QString ddzxyslxsl;
    bool ddsczb = false;
    bool pdyxcfsp = false;
    bool ysxzpssp = false;
    bool jekzsptj = false;
    bool mdqyrjxstb = false;
    bool jzsjzdtj = false;
};

} // namespace sqda
