// The host work behind the maintenance screen's add, rename and delete, with
// no widget in sight: each operation calls the host once and returns what came
// of it. The screen asks the questions, shows the outcomes and moves the tree.
//
// A refusal by the host is an Error whose text is the host's message lines
// (composed as ShowHostError shows them), so the screen shows it in the
// host-error box.
#pragma once

#include "core/Result.h"
#include "host/CoorDisp.h"

#include <QString>

namespace sqda {

class ClientDataSet;

class AreaChanges
{
public:
    AreaChanges(CoorDisp host, QString department);

    // The host's answer to a new code.
    struct CodeCheck
    {
        QString question; // to put to the user when it begins with "你想建立"
        QString levelText; // the new code's level as the host wrote it
        // The level as a whole number; an error naming the text when it is none.
        Result<int> level() const;
    };
    // CheckAreaCode for `code` (already trimmed).
    Result<CodeCheck> checkCode(const QString &code);

    // InsertArea: `rows` is emptied to the screen's five columns, the new row
    // (a leaf) appended and posted, and its packet sent. Returns the parent
    // code the host answered (empty for a first-level area). On a refusal
    // `rows` keeps the unsent row.
    Result<QString> insert(ClientDataSet &rows, const QString &code, const QString &name, int level);

    // DeleteArea of the department's area `code`.
    Status remove(const QString &code);

    // The rename statement through ExecuteSql; code and name go as given.
    Status rename(const QString &code, const QString &name);

private:
    CoorDisp m_host;
    QString m_department;
};

} // namespace sqda
