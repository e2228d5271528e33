#include "SavedQueryStore.h"

#include "env/Utilities.h"

#include <algorithm>
#include <vector>

namespace sqda {

namespace {

const QString KeyPrefix = QStringLiteral("Q");

Error gone()
{
    return Error { QStringLiteral("这个查询方案已被另一个查询画面修改或删除，请重新打开“管理查询方案…”。") };
}

// The entry as read earlier, found in the file as it is now.
Result<qsizetype> locate(const QList<SavedQueryStore::Entry> &now, const SavedQueryStore::Entry &entry)
{
    for (qsizetype i = 0; i < now.size(); ++i) {
        if (now.at(i).key == entry.key && now.at(i).line == entry.line)
            return i;
    }
    for (qsizetype i = 0; i < now.size(); ++i) {
        if (now.at(i).line == entry.line)
            return i;
    }
    return gone();
}

qint64 nextStamp(const QList<SavedQueryStore::Entry> &entries)
{
    qint64 top = 0;
    for (const SavedQueryStore::Entry &e : entries) {
        if (e.query)
            top = std::max(top, e.query->lastUsed);
    }
    return top + 1;
}

QString nextKey(const QList<SavedQueryStore::Entry> &entries)
{
    qint64 top = 0;
    for (const SavedQueryStore::Entry &e : entries) {
        if (e.key.startsWith(KeyPrefix, Qt::CaseInsensitive)) {
            bool ok = false;
            const qint64 n = e.key.mid(KeyPrefix.size()).toLongLong(&ok);
            if (ok && n > top)
                top = n;
        }
    }
    return KeyPrefix + QString::number(top + 1);
}

} // namespace

SavedQueryStore::SavedQueryStore(QString fileName, QString section, QString directory)
    : m_fileName(std::move(fileName))
    , m_section(std::move(section))
    , m_directory(std::move(directory))
{
}

QList<SavedQueryStore::Entry> SavedQueryStore::read(const IniFile &ini, const QString &section)
{
    QList<Entry> out;
    const QList<IniFile::Entry> raw = ini.entries(section);
    out.reserve(raw.size());
    for (const IniFile::Entry &e : raw) {
        Entry entry { e.key, e.value, std::nullopt, {} };
        if (Result<SavedQuery> q = SavedQuery::fromLine(e.value))
            entry.query = std::move(*q);
        else
            entry.damage = q.error();
        out.append(std::move(entry));
    }
    return out;
}

QList<SavedQueryStore::Entry> SavedQueryStore::entries() const
{
    return read(ReadIniFile(m_fileName, m_directory), m_section);
}

QList<SavedQueryStore::Entry> SavedQueryStore::menuOrder(const QList<Entry> &entries)
{
    std::vector<std::pair<qint64, qsizetype>> order; // stamp, position
    for (qsizetype i = 0; i < entries.size(); ++i) {
        if (entries.at(i).query)
            order.emplace_back(entries.at(i).query->lastUsed, i);
    }
    std::stable_sort(order.begin(), order.end(), [](const auto &a, const auto &b) { return a.first > b.first; });
    QList<Entry> out;
    out.reserve(qsizetype(order.size()));
    for (const auto &o : order)
        out.append(entries.at(o.second));
    return out;
}

const SavedQueryStore::Entry *SavedQueryStore::findName(const QList<Entry> &entries, const QString &name)
{
    const QString wanted = name.trimmed();
    for (const Entry &e : entries) {
        if (e.query && e.query->name == wanted)
            return &e;
    }
    return nullptr;
}

std::optional<SavedQuery> SavedQueryStore::autoRunQuery(const QList<Entry> &entries)
{
    for (const Entry &e : entries) {
        if (e.query && e.query->autoRun)
            return e.query;
    }
    return std::nullopt;
}

Status SavedQueryStore::update(const std::function<Status(QList<Entry> &entries, IniFile &ini)> &edit)
{
    bool editRefused = false;
    const Status written = UpdateIniFile(m_fileName, m_directory, [&](IniFile &ini) {
        QList<Entry> now = read(ini, m_section);
        Status s = edit(now, ini);
        editRefused = !s;
        return s;
    });
    if (!written && !editRefused) // the file could not be read or written
        return Error { QStringLiteral("查询方案不能写入设置文件。\n") + written.error() };
    return written;
}

Status SavedQueryStore::write(IniFile &ini, const QString &key, const SavedQuery &query) const
{
    const QString line = query.toLine();
    if (line.size() > SavedQuery::MaxLineLength)
        return Error { QStringLiteral("查询方案“%1”的条件太多，不能保存。").arg(query.name) };
    if (const Status stored = ini.setValue(m_section, key, line); !stored)
        return Error { QStringLiteral("查询方案“%1”不能保存：%2").arg(query.name, stored.error()) };
    return Status();
}

Result<QString> SavedQueryStore::save(SavedQuery query)
{
    query.name = query.name.trimmed();
    if (const Status ok = SavedQuery::checkName(query.name); !ok)
        return Error { ok.error() };
    QString key;
    const Status s = update([&](QList<Entry> &now, IniFile &ini) -> Status {
        const Entry *existing = findName(now, query.name);
        key = existing ? existing->key : nextKey(now);
        query.autoRun = existing && existing->query->autoRun;
        query.lastUsed = nextStamp(now);
        return write(ini, key, query);
    });
    if (!s)
        return Error { s.error() };
    return key;
}

Status SavedQueryStore::remove(const Entry &entry)
{
    return update([&](QList<Entry> &now, IniFile &ini) -> Status {
        const Result<qsizetype> at = locate(now, entry);
        if (!at)
            return Error { at.error() };
        ini.removeKey(m_section, now.at(*at).key);
        return Status();
    });
}

Status SavedQueryStore::rename(const Entry &entry, const QString &newName)
{
    const QString name = newName.trimmed();
    if (const Status ok = SavedQuery::checkName(name); !ok)
        return ok;
    return update([&](QList<Entry> &now, IniFile &ini) -> Status {
        const Result<qsizetype> at = locate(now, entry);
        if (!at)
            return Error { at.error() };
        const Entry &e = now.at(*at);
        if (!e.query)
            return Error { QStringLiteral("已损坏的查询方案不能改名，只能删除。") };
        const Entry *same = findName(now, name);
        if (same && same->key != e.key)
            return Error { QStringLiteral("已有名为“%1”的查询方案。").arg(name) };
        SavedQuery q = *e.query;
        q.name = name;
        return write(ini, e.key, q);
    });
}

Result<QString> SavedQueryStore::move(const Entry &entry, int step)
{
    QString key;
    const Status s = update([&](QList<Entry> &now, IniFile &ini) -> Status {
        const Result<qsizetype> at = locate(now, entry);
        if (!at)
            return Error { at.error() };
        const qsizetype other = *at + step;
        key = now.at(*at).key;
        if (other < 0 || other >= now.size())
            return Status();
        // The keys keep their places; the lines change keys.
        if (Status a = ini.setValue(m_section, now.at(*at).key, now.at(other).line); !a)
            return a;
        if (Status b = ini.setValue(m_section, now.at(other).key, now.at(*at).line); !b)
            return b;
        key = now.at(other).key;
        return Status();
    });
    if (!s)
        return Error { s.error() };
    return key;
}

Status SavedQueryStore::setAutoRun(const Entry &entry, bool on)
{
    return update([&](QList<Entry> &now, IniFile &ini) -> Status {
        const Result<qsizetype> at = locate(now, entry);
        if (!at)
            return Error { at.error() };
        if (!now.at(*at).query)
            return Error { QStringLiteral("已损坏的查询方案不能自动执行，只能删除。") };
        for (qsizetype i = 0; i < now.size(); ++i) {
            const Entry &e = now.at(i);
            if (!e.query)
                continue;
            const bool wanted = i == *at ? on : (on ? false : e.query->autoRun);
            if (e.query->autoRun == wanted)
                continue;
            SavedQuery q = *e.query;
            q.autoRun = wanted;
            if (Status w = write(ini, e.key, q); !w)
                return w;
        }
        return Status();
    });
}

Status SavedQueryStore::markUsed(const Entry &entry)
{
    return update([&](QList<Entry> &now, IniFile &ini) -> Status {
        const Result<qsizetype> at = locate(now, entry);
        if (!at)
            return Error { at.error() };
        const Entry &e = now.at(*at);
        if (!e.query)
            return Status();
        SavedQuery q = *e.query;
        q.lastUsed = nextStamp(now);
        return write(ini, e.key, q);
    });
}

} // namespace sqda
