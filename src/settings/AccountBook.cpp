#include "settings/AccountBook.h"

#include "common/Prompter.h"
#include "settings/IntervalTable.h"
#include "settings/Regedit.h"
#include "settings/StoredText.h"

#include <map>

namespace {
using AccountFields::Field;

const QString kTooLong = QStringLiteral("Please keep the name shorter than 20 characters.");
const QString kBackslash = QStringLiteral("Please choose a name without a backslash (\\).");
const QString kDuplicate =
    QStringLiteral("There is already an Account with this name. Please choose another name.");

QString listValueName(int position)
{
    return QStringLiteral("Account%1").arg(position);
}

using ValueMap = std::map<QString, QString>;

std::optional<QString> lookup(const ValueMap& values, const QString& name)
{
    const auto found = values.find(Regedit::fold(name));
    if (found == values.end())
        return std::nullopt;
    return found->second;
}

// Absent and the empty text alike give absent.
std::optional<QString> nonEmpty(const ValueMap& values, const QString& name)
{
    std::optional<QString> text = lookup(values, name);
    if (text && text->isEmpty())
        return std::nullopt;
    return text;
}

qsizetype characterCount(const QString& text)
{
    return text.toUcs4().size();
}

// The values the rows show in their detail columns.
const QString& hostName()
{
    return AccountFields::of(&Account::host).name;
}
const QString& everyName()
{
    return AccountFields::of(&Account::intervalItem).name;
}
} // namespace

AccountBook::AccountBook(Regedit& store, Prompter& prompter, QObject* parent)
    : QObject(parent), m_store(store), m_prompter(prompter)
{
}

QString AccountBook::accountKey(const QString& name) const
{
    return kProductKey + QLatin1Char('\\') + name;
}

void AccountBook::takeOverLegacyValues()
{
    const std::optional<QString> enabled =
        m_store.GetString(HKEY_LOCAL_MACHINE, kProductKey, QStringLiteral("Enable FTP"));
    if (!enabled || (*enabled != QLatin1String("1") && *enabled != QLatin1String("0")))
        return;
    const std::optional<QString> implanted =
        m_store.GetString(HKEY_LOCAL_MACHINE, kProductKey, QStringLiteral("Implanted"));
    if (implanted && implanted->compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
        return;
    const ValueMap product = m_store.Values(HKEY_LOCAL_MACHINE, kProductKey);
    const QString target = accountKey(kDefaultAccount);
    for (const Field& field : AccountFields::all()) {
        if (field.legacy)
            m_store.SaveString(HKEY_LOCAL_MACHINE, target, field.name,
                               lookup(product, field.name).value_or(QString()));
    }
    m_store.SaveString(HKEY_LOCAL_MACHINE, kProductKey, QStringLiteral("Implanted"), QStringLiteral("True"));
}

void AccountBook::loadList()
{
    takeOverLegacyValues();

    // Two bulk reads instead of two queries per account.
    const ValueMap list = m_store.Values(HKEY_LOCAL_MACHINE, kProductKey);
    const auto selected = m_store.SubkeyValues(HKEY_LOCAL_MACHINE, kProductKey, {AccountFields::kSelected});
    m_rows.clear();
    for (int n = 1; n <= kMaxAccounts; ++n) {
        const std::optional<QString> name = nonEmpty(list, listValueName(n));
        if (!name)
            break;
        std::optional<QString> flag;
        if (name->contains(QLatin1Char('\\'))) {
            flag = m_store.GetString(HKEY_LOCAL_MACHINE, accountKey(*name), AccountFields::kSelected);
        } else if (const auto values = selected.find(Regedit::fold(*name)); values != selected.end()) {
            flag = lookup(values->second, AccountFields::kSelected);
        }
        m_rows.push_back({*name, flag && StoredText::truth(*flag).value_or(false), {}, {}});
    }
    m_current = m_rows.empty() ? -1 : 0;

    if (m_rows.empty()) {
        m_rows.push_back({kDefaultAccount, true, {}, {}});
        m_store.SaveString(HKEY_LOCAL_MACHINE, accountKey(kDefaultAccount), QStringLiteral("Name"),
                           kDefaultAccount);
        saveNewAccountValues(kDefaultAccount);
        m_store.SaveString(HKEY_LOCAL_MACHINE, kProductKey, listValueName(1), kDefaultAccount);
        m_current = 0;
    }
    emit rowsChanged();
    ValdItem();
}

void AccountBook::ValdItem()
{
    loadCurrentRecord();
    refreshRows();
}

void AccountBook::loadRowOnly(int row)
{
    setCurrentRow(row);
    loadCurrentRecord();
}

void AccountBook::loadCurrentRecord()
{
    const QString name = currentName();
    if (name.isEmpty())
        return;
    // Every account shows and uses its own values: one without an interval has none, rather than
    // the one loaded before it (which made it upload on another account's timer).
    m_loaded = accountNamed(name);
}

Account AccountBook::accountNamed(const QString& name) const
{
    const ValueMap values = m_store.Values(HKEY_LOCAL_MACHINE, accountKey(name));
    Account account;
    AccountFields::load(account, [&values](const QString& valueName) { return lookup(values, valueName); });
    // A password typed while "Remember my password" is off is used until the program ends.
    if (account.password.isEmpty()) {
        if (const auto typed = m_sessionPasswords.find(Regedit::fold(name));
            typed != m_sessionPasswords.end())
            account.password = typed->second;
    }
    return account;
}

Result<void> AccountBook::saveNewAccountValues(const QString& name)
{
    // Passive mode works behind the NAT routers most people have, and a safe replace never lets a
    // web page load half a picture; accounts stored before keep what they have.
    const ValueMap stored = m_store.Values(HKEY_LOCAL_MACHINE, accountKey(name));
    Result<void> saved;
    for (const Field* field :
         {&AccountFields::of(&Account::passive), &AccountFields::of(&Account::safeReplace)}) {
        if (lookup(stored, field->name))
            continue;
        if (Result<void> one = m_store.SaveString(HKEY_LOCAL_MACHINE, accountKey(name), field->name,
                                                  StoredText::flagText(true));
            !one && saved)
            saved = std::move(one);
    }
    return saved;
}

void AccountBook::refreshRows()
{
    // Detail columns of every row, named through the list values, from two bulk reads.
    const ValueMap list = m_store.Values(HKEY_LOCAL_MACHINE, kProductKey);
    const auto details = m_store.SubkeyValues(HKEY_LOCAL_MACHINE, kProductKey, {hostName(), everyName()});
    for (int row = 0; row < rowCount(); ++row) {
        Row& r = m_rows[static_cast<std::size_t>(row)];
        r.host.clear();
        r.every.clear();
        const QString listed = lookup(list, listValueName(row + 1)).value_or(QString());
        if (listed.isEmpty())
            continue;
        if (listed.contains(QLatin1Char('\\'))) {
            r.host =
                m_store.GetString(HKEY_LOCAL_MACHINE, accountKey(listed), hostName()).value_or(QString());
            r.every =
                m_store.GetString(HKEY_LOCAL_MACHINE, accountKey(listed), everyName()).value_or(QString());
        } else if (const auto found = details.find(Regedit::fold(listed)); found != details.end()) {
            r.host = lookup(found->second, hostName()).value_or(QString());
            r.every = lookup(found->second, everyName()).value_or(QString());
        }
    }
    emit rowsChanged();
    emit loadedChanged();
}

QString AccountBook::rowName(int row) const
{
    return row >= 0 && row < rowCount() ? m_rows[static_cast<std::size_t>(row)].name : QString();
}

bool AccountBook::isChecked(int row) const
{
    return row >= 0 && row < rowCount() && m_rows[static_cast<std::size_t>(row)].checked;
}

QString AccountBook::hostColumn(int row) const
{
    return row >= 0 && row < rowCount() ? m_rows[static_cast<std::size_t>(row)].host : QString();
}

QString AccountBook::everyColumn(int row) const
{
    return row >= 0 && row < rowCount() ? m_rows[static_cast<std::size_t>(row)].every : QString();
}

void AccountBook::setChecked(int row, bool checked)
{
    if (row < 0 || row >= rowCount() || m_rows[static_cast<std::size_t>(row)].checked == checked)
        return;
    m_rows[static_cast<std::size_t>(row)].checked = checked;
    emit rowsChanged();
}

void AccountBook::setCurrentRow(int row)
{
    m_current = row >= 0 && row < rowCount() ? row : -1;
}

void AccountBook::selectRow(int row)
{
    setCurrentRow(row);
    ValdItem();
}

QString AccountBook::refusal(const QString& name, int except) const
{
    if (characterCount(name) > kMaxNameLength)
        return kTooLong;
    // A backslash would make the account a nested key below another one.
    if (name.contains(QLatin1Char('\\')))
        return kBackslash;
    // Keys compare without case, so two such names would share one set of values.
    const QString folded = Regedit::fold(name);
    for (int row = 0; row < rowCount(); ++row) {
        if (row != except && Regedit::fold(m_rows[static_cast<std::size_t>(row)].name) == folded)
            return kDuplicate;
    }
    return {};
}

bool AccountBook::keyShared(const QString& name, int except) const
{
    // Rows of an older list may name one key in two letter cases.
    const QString folded = Regedit::fold(name);
    for (int row = 0; row < rowCount(); ++row) {
        if (row != except && Regedit::fold(m_rows[static_cast<std::size_t>(row)].name) == folded)
            return true;
    }
    return false;
}

std::vector<QString> AccountBook::rowNames() const
{
    std::vector<QString> names;
    for (const Row& row : m_rows)
        names.push_back(row.name);
    return names;
}

Result<void> AccountBook::writeList(const std::vector<QString>& names)
{
    for (std::size_t n = 0; n < names.size(); ++n) {
        if (Result<void> saved = m_store.SaveString(HKEY_LOCAL_MACHINE, kProductKey,
                                                    listValueName(static_cast<int>(n) + 1), names[n]);
            !saved)
            return saved;
    }
    return {};
}

QString AccountBook::storeProblem() const
{
    return m_store.writeProblem();
}

void AccountBook::reportUnsaved(const QString& what, const Failure& failure)
{
    m_prompter.message(QStringLiteral("The account could not be %1: %2.").arg(what, failure.sentence),
                       Prompter::Icon::Exclamation);
    emit rowsChanged(); // the views show the store's state again
}

void AccountBook::addAccount()
{
    if (const Result<void> open = m_store.writable(); !open)
        return reportUnsaved(QStringLiteral("added"), open.failure());
    const std::optional<QString> answer =
        m_prompter.inputBox(QStringLiteral("Please choose a name for your new Account..."),
                            QStringLiteral("New Account..."), QString());
    if (!answer || answer->isEmpty())
        return;
    const QString& name = *answer;
    if (const QString why = refusal(name, -1); !why.isEmpty()) {
        m_prompter.message(why);
        return;
    }
    std::vector<QString> names = rowNames();
    names.push_back(name);
    // The row appears only once the key and the whole list are stored.
    Result<void> added = m_store.CreateKey(HKEY_LOCAL_MACHINE, accountKey(name));
    if (added)
        added = saveNewAccountValues(name);
    if (added)
        added = writeList(names);
    if (!added)
        return reportUnsaved(QStringLiteral("added"), added.failure());
    m_rows.push_back({name, false, {}, {}});
    // The new account is the one the person goes on to fill in.
    selectRow(rowCount() - 1);
}

Result<void> AccountBook::copyValues(const QString& from, const QString& to)
{
    const ValueMap old = m_store.Values(HKEY_LOCAL_MACHINE, from);
    for (const Field& field : AccountFields::all()) {
        if (Result<void> saved = m_store.SaveString(HKEY_LOCAL_MACHINE, to, field.name,
                                                    lookup(old, field.name).value_or(QString()));
            !saved)
            return saved;
    }
    return {};
}

QStringList AccountBook::camerasInUse() const
{
    QStringList cameras;
    for (const Row& row : m_rows) {
        if (!row.checked)
            continue;
        const QString camera = lookup(m_store.Values(HKEY_LOCAL_MACHINE, accountKey(row.name)),
                                      AccountFields::of(&Account::camera).name)
                                   .value_or(QString());
        if (!camera.isEmpty() && !cameras.contains(camera))
            cameras.append(camera);
    }
    return cameras;
}

void AccountBook::renameAccount()
{
    if (m_current < 0)
        return;
    if (const Result<void> open = m_store.writable(); !open)
        return reportUnsaved(QStringLiteral("renamed"), open.failure());
    const QString oldName = currentName();
    const std::optional<QString> answer = m_prompter.inputBox(
        QStringLiteral("Please choose a new name for your Account..."), QStringLiteral("Rename..."), oldName);
    if (!answer || answer->isEmpty() || *answer == oldName)
        return;
    const QString& newName = *answer;
    if (const QString why = refusal(newName, m_current); !why.isEmpty()) {
        m_prompter.message(why);
        return;
    }
    const int row = m_current;
    // A change of letter case only addresses the same key: its values stay where they are.
    // Otherwise the values move first and the list follows, so a failure leaves the old name
    // with its values; the old key goes last, and only when no other row uses it.
    const bool sameKey = Regedit::fold(newName) == Regedit::fold(oldName);
    Result<void> renamed = sameKey ? Result<void>() : copyValues(accountKey(oldName), accountKey(newName));
    if (renamed)
        renamed = m_store.SaveString(HKEY_LOCAL_MACHINE, kProductKey, listValueName(row + 1), newName);
    if (!renamed)
        return reportUnsaved(QStringLiteral("renamed"), renamed.failure());
    if (!sameKey && !keyShared(oldName, row))
        m_store.DeleteKey(HKEY_LOCAL_MACHINE, accountKey(oldName));
    if (const auto typed = m_sessionPasswords.find(Regedit::fold(oldName));
        typed != m_sessionPasswords.end()) {
        const QString password = typed->second;
        if (!keyShared(oldName, row))
            m_sessionPasswords.erase(typed);
        m_sessionPasswords[Regedit::fold(newName)] = password;
    }
    m_rows[static_cast<std::size_t>(row)].name = newName;
    emit rowsChanged();
}

void AccountBook::removeAccount()
{
    if (m_current < 0)
        return;
    if (const Result<void> open = m_store.writable(); !open)
        return reportUnsaved(QStringLiteral("removed"), open.failure());
    const QString name = currentName();
    const Prompter::Answer answer = m_prompter.message(
        QStringLiteral("Are you sure you want to remove this \nAccount and all of its settings."),
        Prompter::Icon::Exclamation, Prompter::Buttons::YesNo,
        QStringLiteral("Remove '") + name + QStringLiteral("'?"), Prompter::Answer::No);
    if (answer != Prompter::Answer::Yes)
        return;

    const int row = m_current;
    std::vector<QString> names = rowNames();
    names.erase(names.begin() + row);
    // The list first: while it is not stored, the account keeps its row and its values.
    const int last = static_cast<int>(names.size()) + 1;
    Result<void> removed = writeList(names);
    if (removed)
        removed = m_store.DeleteValue(HKEY_LOCAL_MACHINE, kProductKey, listValueName(last));
    if (!removed) {
        writeList(rowNames());
        return reportUnsaved(QStringLiteral("removed"), removed.failure());
    }
    // Another row of an older list may share the key; the values stay while it does.
    if (!name.isEmpty() && !keyShared(name, row)) {
        m_store.DeleteKey(HKEY_LOCAL_MACHINE, accountKey(name));
        m_sessionPasswords.erase(Regedit::fold(name));
    }
    m_rows.erase(m_rows.begin() + row);
    m_current = -1;
    emit rowsChanged();
}

void AccountBook::saveFlags()
{
    for (const Row& row : m_rows)
        m_store.SaveString(HKEY_LOCAL_MACHINE, accountKey(row.name), AccountFields::kSelected,
                           StoredText::truthText(row.checked));
}

bool AccountBook::hasCurrentAccount() const
{
    return !currentName().isEmpty();
}

void AccountBook::saveField(const Field& field)
{
    if (!hasCurrentAccount() || field.name.isEmpty())
        return;
    const QString text = AccountFields::text(field, m_loaded);
    m_store.SaveString(HKEY_LOCAL_MACHINE, accountKey(currentName()), field.name, text);
    // The list's columns follow the edit at once.
    Row& row = m_rows[static_cast<std::size_t>(m_current)];
    if (field.name == hostName() && row.host != text) {
        row.host = text;
        emit rowsChanged();
    } else if (field.name == everyName() && row.every != text) {
        row.every = text;
        emit rowsChanged();
    }
}

void AccountBook::keepForSession(const QString& password)
{
    if (!hasCurrentAccount())
        return;
    if (password.isEmpty())
        m_sessionPasswords.erase(Regedit::fold(currentName()));
    else
        m_sessionPasswords[Regedit::fold(currentName())] = password;
}

void AccountBook::setPassword(const QString& text)
{
    m_loaded.password = text;
    keepForSession(text);
    if (m_loaded.rememberPassword || text.isEmpty())
        saveField(AccountFields::of(&Account::password));
    emit loadedChanged();
}

void AccountBook::setRememberPassword(bool remember)
{
    m_loaded.rememberPassword = remember;
    saveField(AccountFields::of(&Account::rememberPassword));
    // Ticking the box keeps the password the field holds; clearing it removes the stored one,
    // and the field's password serves this account until the program ends.
    if (remember)
        saveField(AccountFields::of(&Account::password));
    else if (hasCurrentAccount())
        m_store.DeleteValue(HKEY_LOCAL_MACHINE, accountKey(currentName()),
                            AccountFields::of(&Account::password).name);
    keepForSession(m_loaded.password);
    emit loadedChanged();
}

void AccountBook::finishFolderEdit()
{
    if (!m_loaded.folder.isEmpty() && !m_loaded.folder.endsWith(QLatin1Char('/')))
        set(&Account::folder, m_loaded.folder + QLatin1Char('/'));
}

void AccountBook::setIntervalItem(int position)
{
    if (position == -1) {
        // Back to no interval at all, as an account that never had one.
        m_loaded.intervalItem = -1;
        m_loaded.seconds.clear();
        if (hasCurrentAccount()) {
            for (const auto* field :
                 {&AccountFields::of(&Account::intervalItem), &AccountFields::of(&Account::seconds)})
                m_store.DeleteValue(HKEY_LOCAL_MACHINE, accountKey(currentName()), field->name);
            m_rows[static_cast<std::size_t>(m_current)].every.clear();
            emit rowsChanged();
        }
        emit loadedChanged();
        return;
    }
    if (!IntervalTable::isValidPosition(position))
        return;
    // Presets and "Never" put their seconds into the field; "Custom" keeps what is typed there.
    if (const std::optional<QString> preset = IntervalTable::presetSecondsText(position))
        m_loaded.seconds = *preset;
    m_loaded.intervalItem = position;
    saveField(AccountFields::of(&Account::intervalItem));
    saveField(AccountFields::of(&Account::seconds));
    emit loadedChanged();
}

QString AccountBook::setSecondsText(const QString& typed)
{
    const QString seconds = IntervalTable::secondsText(typed);
    m_loaded.seconds = seconds;
    // Typing a preset number keeps the chosen item; anything else means a custom interval.
    if (!IntervalTable::isPresetSecondsText(seconds) && m_loaded.intervalItem != IntervalTable::kNever &&
        m_loaded.intervalItem != IntervalTable::kCustom) {
        setIntervalItem(IntervalTable::kCustom);
        return seconds;
    }
    saveField(AccountFields::of(&Account::seconds));
    emit loadedChanged();
    return seconds;
}

void AccountBook::setFont(bool bold, bool italic, const QString& name, double size)
{
    const Account before = m_loaded;
    m_loaded.fontBold = bold;
    m_loaded.fontItalic = italic;
    m_loaded.fontName = name;
    // The size is kept in single precision, as the font dialog reports it.
    m_loaded.fontSize = static_cast<float>(size);
    for (const Field* field :
         {&AccountFields::of(&Account::fontBold), &AccountFields::of(&Account::fontItalic),
          &AccountFields::of(&Account::fontName), &AccountFields::of(&Account::fontSize)}) {
        if (AccountFields::text(*field, before) != AccountFields::text(*field, m_loaded))
            saveField(*field);
    }
    emit loadedChanged();
}
