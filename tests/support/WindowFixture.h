#pragma once

#include "ScriptedDialogs.h"
#include "ScriptedPrompter.h"
#include "StoreDump.h"
#include "TempDir.h"
#include "help/Help.h"
#include "settings/Regedit.h"

#include <QWidget>

#include <gtest/gtest.h>

// What the window tests share: a temporary folder holding the store, scripted boxes and dialogs,
// the help, and short ways to the window's controls and to the stored values.
class WindowFixture : public ::testing::Test
{
protected:
    static inline const QString kProduct = QStringLiteral("Software\\Velmora");
    static QString key(const QString& account) { return kProduct + QLatin1Char('\\') + account; }

    virtual Regedit& store() = 0;
    virtual QWidget& window() = 0;

    template <typename T> T* child(const QString& name)
    {
        T* found = window().findChild<T*>(name);
        EXPECT_NE(found, nullptr) << name.toStdString();
        return found;
    }
    std::optional<QString> stored(const QString& name, const QString& keyPath = kProduct)
    {
        return store().GetString(HKEY_LOCAL_MACHINE, keyPath, name);
    }
    void put(const QString& keyPath, const QString& name, const QString& text)
    {
        store().SaveString(HKEY_LOCAL_MACHINE, keyPath, name, text);
    }
    // Accounts in the list, in order, each with a host so that it has values.
    void makeAccounts(const QStringList& names)
    {
        for (int n = 0; n < names.size(); ++n) {
            put(kProduct, QStringLiteral("Account%1").arg(n + 1), names[n]);
            put(key(names[n]), QStringLiteral("Host Name/Adress:"), QStringLiteral("host-") + names[n]);
        }
    }

    TempDir dir;
    ScriptedPrompter prompter;
    ScriptedDialogs dialogs;
    Help help{dir.path()};
};
