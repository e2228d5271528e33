// The host program's command line.
#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace kalmora {

struct HostOptions
{
    enum class Screen { None, Maintenance, Query };

    QString database; // empty: the SQLite file in dataDir
    QString department; // empty: the first department of the database
    QString operatorCode; // empty: the first operator of the database
    bool operatorGiven = false; // --operator "" signs on without an operator
    Screen open = Screen::None;
    QString screenshot; // PNG file; render the opened screen and quit
    QString dataDir; // empty: the platform's application data folder
    QString library; // empty: libsqda.so next to the program, else the build's

    // Parses the arguments (argv[0] first). On failure returns nothing and sets
    // `error`; for --help and --version `error` holds the text to print and
    // `exitNow` is set.
    static std::optional<HostOptions> parse(const QStringList &arguments, QString *error, bool *exitNow = nullptr);

    // The database the options name: --database, or the SQLite file in the data folder.
    QString databaseUrl() const;
    QString effectiveDataDir() const;
};

} // namespace kalmora
