#pragma once

#include <QString>

// A locale whose decimal sign is a comma (de_DE.UTF-8), for checking that numbers keep
// their '.' whatever LC_NUMERIC says. When the system has none it is built once with
// localedef into the build folder, and LOCPATH is set so that this process and its
// children find it.
struct CommaLocale {
    QString name;     // for setlocale and LC_ALL
    QString problem;  // why there is none; empty when the locale works
    bool ok() const { return problem.isEmpty(); }
};

CommaLocale commaLocale();

// Sets LC_NUMERIC to a locale while it lives, then back.
class NumericLocale {
public:
    explicit NumericLocale(const QString& name);
    ~NumericLocale();
    NumericLocale(const NumericLocale&) = delete;
    NumericLocale& operator=(const NumericLocale&) = delete;

    bool active() const { return active_; }

private:
    QByteArray saved_;
    bool active_ = false;
};
