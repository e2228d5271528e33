#include "XlsxFile.h"

#include "FileProblems.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace sqda::report {

namespace {

// Excel keeps at most this many characters in a cell; longer texts are cut there
// rather than failing the whole file.
constexpr int MaxCellChars = 32767;

QString DiskFull()
{
    return QStringLiteral("工作表没能完整写出，磁盘可能已满。");
}

quint64 le(const QByteArray &bytes, qsizetype at, int size)
{
    quint64 v = 0;
    for (int i = 0; i < size; ++i)
        v |= quint64(quint8(bytes.at(at + i))) << (8 * i);
    return v;
}

// The uncompressed size of entry `name` in the zip file at `path`, from its
// central directory; -1 when the file is not a complete zip or lacks the entry.
// The library writes no archive comment, so the directory's end record is the
// file's last 22 bytes.
qint64 zipEntrySize(const QString &path, const QByteArray &name)
{
    QFile zip(path);
    if (!zip.open(QIODevice::ReadOnly) || zip.size() < 22 || !zip.seek(zip.size() - 22))
        return -1;
    const QByteArray end = zip.read(22);
    if (end.size() != 22 || le(end, 0, 4) != 0x06054b50)
        return -1;
    const qint64 dirSize = qint64(le(end, 12, 4)), dirOffset = qint64(le(end, 16, 4));
    if (dirOffset + dirSize > zip.size() - 22 || !zip.seek(dirOffset))
        return -1;
    const QByteArray dir = zip.read(dirSize);
    for (qsizetype at = 0; at + 46 <= dir.size() && le(dir, at, 4) == 0x02014b50;) {
        const qsizetype nameLength = qsizetype(le(dir, at + 28, 2));
        const qsizetype next = at + 46 + nameLength + qsizetype(le(dir, at + 30, 2)) + qsizetype(le(dir, at + 32, 2));
        if (next > dir.size())
            return -1;
        if (dir.mid(at + 46, nameLength) == name)
            return qint64(le(dir, at + 24, 4));
        at = next;
    }
    return -1;
}

} // namespace

// Frees a workbook that was not closed (a failure or a cancel). The library's
// free leaves each constant-memory worksheet's row file open, an unlinked file
// that would hold its descriptor and disk space until the program ends.
void XlsxFile::WorkbookDeleter::operator()(lxw_workbook *w) const
{
    lxw_worksheet *sheet = nullptr;
    LXW_FOREACH_WORKSHEET(sheet, w)
    {
        if (sheet->optimize_tmpfile) {
            std::fclose(sheet->optimize_tmpfile);
            sheet->optimize_tmpfile = nullptr;
        }
    }
    lxw_workbook_free(w);
}

XlsxFile::~XlsxFile() = default;

Status XlsxFile::open(const QString &path)
{
    m_target = QFileInfo(path);
    // The library's own row files go beside the target too, not into a /tmp that
    // may be memory.
    m_file.setFileTemplate(m_target.absoluteDir().filePath(QStringLiteral(".%1.XXXXXX").arg(m_target.fileName())));
    if (!m_file.open())
        return Error { writeProblem(path, 0, m_file.errorString()) };
    m_file.close(); // the name is reserved; the library writes the file itself
    m_tempName = QFile::encodeName(m_file.fileName());
    m_tmpDir = QFile::encodeName(m_target.absolutePath());

    lxw_workbook_options options {};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = m_tmpDir.data();
    m_workbook.reset(workbook_new_opt(m_tempName.constData(), &options));
    if (!m_workbook)
        return Error { QStringLiteral("无法创建工作簿。") };
    return {};
}

lxw_worksheet *XlsxFile::addSheet(const QByteArray &name)
{
    QByteArray sheetName = name;
    if (sheetName.isEmpty() || workbook_validate_sheet_name(m_workbook.get(), sheetName.constData()) != LXW_NO_ERROR)
        sheetName = QByteArrayLiteral("Sheet1");
    return workbook_add_worksheet(m_workbook.get(), sheetName.constData());
}

QByteArray XlsxFile::cellText(const QString &text)
{
    if (text.size() <= MaxCellChars)
        return text.toUtf8();
    int cut = MaxCellChars;
    if (text.at(cut - 1).isHighSurrogate())
        --cut; // never split a character in two
    return text.left(cut).toUtf8();
}

QString XlsxFile::libraryProblem(lxw_error error)
{
    switch (error) {
    case LXW_ERROR_MEMORY_MALLOC_FAILED:
        return QStringLiteral("内存不足。");
    case LXW_ERROR_CREATING_XLSX_FILE:
    case LXW_ERROR_CREATING_TMPFILE:
        return QStringLiteral("无法创建文件。");
    case LXW_ERROR_READING_TMPFILE:
        return QStringLiteral("无法读取临时文件。");
    case LXW_ERROR_ZIP_FILE_OPERATION:
    case LXW_ERROR_ZIP_FILE_ADD:
    case LXW_ERROR_ZIP_CLOSE:
        return QStringLiteral("写入压缩文件出错，磁盘可能已满。");
    default:
        return QStringLiteral("Excel文件库出错（%1）。").arg(QString::fromUtf8(lxw_strerror(error)));
    }
}

Status XlsxFile::commit()
{
    // The library does not look at the result of writing its row file, nor of
    // copying it into the sheet's XML when closing: on a full disk it made a
    // sheet cut short and reported success. Its buffered rows are flushed here,
    // a write error is the failure, and after closing the sheet in the file must
    // be at least as long as the row file was.
    qint64 rowBytes = 0;
    lxw_worksheet *ws = nullptr;
    LXW_FOREACH_WORKSHEET(ws, m_workbook.get())
    {
        if (!ws->optimize_tmpfile)
            continue;
        errno = 0;
        if (std::fflush(ws->optimize_tmpfile) != 0 || std::ferror(ws->optimize_tmpfile))
            return Error { errno ? systemErrorText(errno) : DiskFull() };
        rowBytes += std::max<qint64>(0, std::ftell(ws->optimize_tmpfile));
    }

    // workbook_close writes the file and frees the workbook whatever the outcome.
    const lxw_error closed = workbook_close(m_workbook.release());
    if (closed != LXW_NO_ERROR)
        return Error { libraryProblem(closed) };
    if (zipEntrySize(m_file.fileName(), "xl/worksheets/sheet1.xml") < rowBytes)
        return Error { DiskFull() };
    QFile::setPermissions(m_file.fileName(),
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther);
    if (std::rename(m_tempName.constData(), QFile::encodeName(m_target.absoluteFilePath()).constData()) != 0)
        return Error { systemErrorText(errno) };
    m_file.setAutoRemove(false);
    return {};
}

} // namespace sqda::report
