#include "settings/AccountBook.h"

#include "common/DateTimeText.h"
#include "common/Prompter.h"
#include "settings/IntervalTable.h"
#include "settings/Regedit.h"
#include "settings/StoredText.h"

#include <array>
#include <cmath>
#include <map>

namespace {
const QString kHost = QStringLiteral("Host Name/Adress:");
const QString kUser = QStringLiteral("User ID:");
const QString kPassword = QStringLiteral("Password:");
const QString kFolder = QStringLiteral("Initial Remote Site Folder:");
const QString kRemember = QStringLiteral("Remember password");
const QString kEvery = QStringLiteral("Upload image every:");
const QString kCustom = QStringLiteral("Custom");
const QString kBetween = QStringLiteral("Between");
const QString kFileName = QStringLiteral("Destination filename:");
const QString kTimestamp = QStringLiteral("Enable timestamp");
const QString kTextTime = QStringLiteral("TextTime");
const QString kBackcolor = QStringLiteral("Backcolor");
const QString kForecolor = QStringLiteral("Forecolor");
const QString kFontBold = QStringLiteral("Font Bold");
const QString kFontItalic = QStringLiteral("Font Italic");
const QString kFontName = QStringLiteral("Font Name");
const QString kFontSize = QStringLiteral("Font Size");
const QString kLocally = QStringLiteral("Locally");
const QString kOnlyLocally = QStringLiteral("Only Locally");
const QString kLocalFolder = QStringLiteral("LocallySource");
const QString kDateFrom = QStringLiteral("DateFrom");
const QString kDateTo = QStringLiteral("DateTo");
const QString kSelected = QStringLiteral("Selected");
const QString kProtocol = QStringLiteral("Protocol");
const QString kPassive = QStringLiteral("Passive");
const QString kVerifyCertificate = QStringLiteral("Verify certificate");
const QString kKeyFile = QStringLiteral("Key file");
const QString kSafeReplace = QStringLiteral("Safe replace");

const QString kTooLong = QStringLiteral("Please keep the name shorter than 20 characters.");
const QString kBackslash = QStringLiteral("Please choose a name without a backslash (\\).");
const QString kDuplicate =
    QStringLiteral("There is already an Account with this name. Please choose another name.");

// The values of the earlier single-account layout, taken over once into the default account.
const std::array<QString, 14> kLegacyValues{kHost,     kUser,       kPassword,  kFolder,    kRemember,
                                            kEvery,    kFileName,   kTimestamp, kBackcolor, kForecolor,
                                            kFontBold, kFontItalic, kFontName,  kFontSize};

// What Rename carries over to the new name, in this order ("Name" stays behind); the connection
// values come last.
const std::array<QString, 28> kRenamedValues{
    kHost,       kUser,     kPassword,  kFolder,   kRemember,          kEvery,       kCustom,
    kBetween,    kFileName, kTimestamp, kTextTime, kBackcolor,         kForecolor,   kFontBold,
    kFontItalic, kFontName, kFontSize,  kLocally,  kOnlyLocally,       kLocalFolder, kDateFrom,
    kDateTo,     kSelected, kProtocol,  kPassive,  kVerifyCertificate, kKeyFile,     kSafeReplace};

// Font sizes the stamp can be drawn with; anything else is a damaged value.
constexpr double kMaxFontSize = 1638;

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
    for (const QString& name : kLegacyValues)
        m_store.SaveString(HKEY_LOCAL_MACHINE, target, name, lookup(product, name).value_or(QString()));
    m_store.SaveString(HKEY_LOCAL_MACHINE, kProductKey, QStringLiteral("Implanted"), QStringLiteral("True"));
}

void AccountBook::loadList()
{
    takeOverLegacyValues();

    // Two bulk reads instead of two queries per account.
    const ValueMap list = m_store.Values(HKEY_LOCAL_MACHINE, kProductKey);
    const auto selected = m_store.SubkeyValues(HKEY_LOCAL_MACHINE, kProductKey, {kSelected});
    m_rows.clear();
    for (int n = 1; n <= kMaxAccounts; ++n) {
        const std::optional<QString> name = nonEmpty(list, listValueName(n));
        if (!name)
            break;
        std::optional<QString> flag;
        if (name->contains(QLatin1Char('\\'))) {
            flag = m_store.GetString(HKEY_LOCAL_MACHINE, accountKey(*name), kSelected);
        } else if (const auto values = selected.find(Regedit::fold(*name)); values != selected.end()) {
            flag = lookup(values->second, kSelected);
        }
        m_rows.push_back({*name, flag && StoredText::truth(*flag).value_or(false), {}, {}});
    }
    m_current = m_rows.empty() ? -1 : 0;

    if (m_rows.empty()) {
        m_rows.push_back({kDefaultAccount, true, {}, {}});
        m_store.SaveString(HKEY_LOCAL_MACHINE, accountKey(kDefaultAccount), QStringLiteral("Name"),
                           kDefaultAccount);
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
    if (!name.isEmpty()) {
        const ValueMap values = m_store.Values(HKEY_LOCAL_MACHINE, accountKey(name));
        Account& a = m_loaded;
        a.host = lookup(values, kHost).value_or(QString());
        a.user = lookup(values, kUser).value_or(QString());
        a.password = lookup(values, kPassword).value_or(QString());
        a.folder = lookup(values, kFolder).value_or(QString());
        a.rememberPassword = StoredText::flag(lookup(values, kRemember));

        // An account without an interval of its own (or with one the table does not know) keeps
        // the interval, seconds and date-range flag of the account loaded before it.
        if (const std::optional<QString> every = nonEmpty(values, kEvery)) {
            if (const std::optional<int> position = IntervalTable::positionOf(*every)) {
                a.intervalItem = *position;
                a.seconds = *position == IntervalTable::kCustom
                                ? storedSeconds(lookup(values, kCustom).value_or(QString()))
                                : IntervalTable::presetSecondsText(*position).value_or(QString());
                a.between = StoredText::flag(lookup(values, kBetween));
            }
        }

        a.fileName = nonEmpty(values, kFileName).value_or(QStringLiteral("webcam"));
        a.timestamp = StoredText::flag(lookup(values, kTimestamp));
        a.textTime = StoredText::flag(lookup(values, kTextTime));

        const auto colorOr = [&values](const QString& valueName, quint32 fallback) {
            const std::optional<QString> text = nonEmpty(values, valueName);
            return text ? StoredText::color(*text).value_or(fallback) : fallback;
        };
        a.backColor = colorOr(kBackcolor, 0);
        a.foreColor = colorOr(kForecolor, 0xFFFFFF);

        const auto truthOr = [&values](const QString& valueName, bool fallback) {
            const std::optional<QString> text = nonEmpty(values, valueName);
            return text ? StoredText::truth(*text).value_or(fallback) : fallback;
        };
        a.fontBold = truthOr(kFontBold, true);
        a.fontItalic = truthOr(kFontItalic, false);
        a.fontName = nonEmpty(values, kFontName).value_or(QStringLiteral("Tahoma"));
        a.fontSize = 10;
        if (const std::optional<QString> sizeText = nonEmpty(values, kFontSize)) {
            const std::optional<double> size = parseStoredNumber(*sizeText);
            if (size && *size > 0 && *size <= kMaxFontSize)
                a.fontSize = *size;
        }

        a.locally = StoredText::flag(lookup(values, kLocally));
        a.onlyLocally = StoredText::flag(lookup(values, kOnlyLocally));
        a.localFolder = lookup(values, kLocalFolder).value_or(QString());
        const auto dateOr = [&values](const QString& valueName) {
            const std::optional<QString> text = nonEmpty(values, valueName);
            const std::optional<QDate> date = text ? parseStoredDate(*text) : std::nullopt;
            return date.value_or(QDate::currentDate());
        };
        a.dateFrom = dateOr(kDateFrom);
        a.dateTo = dateOr(kDateTo);

        // Absent (or emptied by a rename) means the plain active FTP of old.
        a.protocol = Account::protocolOf(lookup(values, kProtocol).value_or(QString()));
        a.passive = StoredText::flag(lookup(values, kPassive));
        a.verifyCertificate =
            nonEmpty(values, kVerifyCertificate).value_or(QStringLiteral("1")) != QLatin1String("0");
        a.keyFile = lookup(values, kKeyFile).value_or(QString());
        a.safeReplace = StoredText::flag(lookup(values, kSafeReplace));
    }
}

void AccountBook::refreshRows()
{
    // Detail columns of every row, named through the list values, from two bulk reads.
    const ValueMap list = m_store.Values(HKEY_LOCAL_MACHINE, kProductKey);
    const auto details = m_store.SubkeyValues(HKEY_LOCAL_MACHINE, kProductKey, {kHost, kEvery});
    for (int row = 0; row < rowCount(); ++row) {
        Row& r = m_rows[static_cast<std::size_t>(row)];
        r.host.clear();
        r.every.clear();
        const QString listed = lookup(list, listValueName(row + 1)).value_or(QString());
        if (listed.isEmpty())
            continue;
        if (listed.contains(QLatin1Char('\\'))) {
            r.host = m_store.GetString(HKEY_LOCAL_MACHINE, accountKey(listed), kHost).value_or(QString());
            r.every = m_store.GetString(HKEY_LOCAL_MACHINE, accountKey(listed), kEvery).value_or(QString());
        } else if (const auto found = details.find(Regedit::fold(listed)); found != details.end()) {
            r.host = lookup(found->second, kHost).value_or(QString());
            r.every = lookup(found->second, kEvery).value_or(QString());
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

void AccountBook::rewriteList()
{
    for (int row = 0; row < rowCount(); ++row)
        m_store.SaveString(HKEY_LOCAL_MACHINE, kProductKey, listValueName(row + 1),
                           m_rows[static_cast<std::size_t>(row)].name);
}

void AccountBook::addAccount()
{
    const std::optional<QString> answer =
        m_prompter.inputBox(QStringLiteral("Please choose a name for your new Account..."),
                            QStringLiteral("New Account..."), QString());
    if (!answer || answer->isEmpty())
        return;
    const QString name = *answer;
    if (const QString why = refusal(name, -1); !why.isEmpty()) {
        m_prompter.message(why);
        return;
    }
    m_rows.push_back({name, false, {}, {}});
    m_store.CreateKey(HKEY_LOCAL_MACHINE, accountKey(name));
    rewriteList();
    emit rowsChanged();
}

void AccountBook::renameAccount()
{
    if (m_current < 0)
        return;
    const QString oldName = currentName();
    const std::optional<QString> answer = m_prompter.inputBox(
        QStringLiteral("Please choose a new name for your Account..."), QStringLiteral("Rename..."), oldName);
    if (!answer || answer->isEmpty() || *answer == oldName)
        return;
    const QString newName = *answer;
    if (const QString why = refusal(newName, m_current); !why.isEmpty()) {
        m_prompter.message(why);
        return;
    }
    const int row = m_current;
    m_store.SaveString(HKEY_LOCAL_MACHINE, kProductKey, listValueName(row + 1), newName);

    // A change of letter case only addresses the same key: its values stay where they are.
    if (Regedit::fold(newName) != Regedit::fold(oldName)) {
        const ValueMap old = m_store.Values(HKEY_LOCAL_MACHINE, accountKey(oldName));
        const QString target = accountKey(newName);
        for (const QString& valueName : kRenamedValues)
            m_store.SaveString(HKEY_LOCAL_MACHINE, target, valueName,
                               lookup(old, valueName).value_or(QString()));
        // The old key goes only once its values are safely at the new name.
        const ValueMap copied = m_store.Values(HKEY_LOCAL_MACHINE, target);
        for (const QString& valueName : kRenamedValues) {
            if (lookup(copied, valueName) != lookup(old, valueName).value_or(QString())) {
                m_store.SaveString(HKEY_LOCAL_MACHINE, kProductKey, listValueName(row + 1), oldName);
                return;
            }
        }
        m_store.DeleteKey(HKEY_LOCAL_MACHINE, accountKey(oldName));
    }
    m_rows[static_cast<std::size_t>(row)].name = newName;
    emit rowsChanged();
}

void AccountBook::removeAccount()
{
    if (m_current < 0)
        return;
    const QString name = currentName();
    const Prompter::Answer answer = m_prompter.message(
        QStringLiteral("Are you sure you want to remove this \nAccount and all of its settings."),
        Prompter::Icon::Exclamation, Prompter::Buttons::YesNo,
        QStringLiteral("Remove '") + name + QStringLiteral("'?"), Prompter::Answer::No);
    if (answer != Prompter::Answer::Yes)
        return;

    const int row = m_current;
    m_rows.erase(m_rows.begin() + row);
    // Rows of an older list may share one key; the key stays while another row still uses it.
    bool shared = false;
    for (const Row& other : m_rows)
        shared = shared || Regedit::fold(other.name) == Regedit::fold(name);
    if (!name.isEmpty() && !shared)
        m_store.DeleteKey(HKEY_LOCAL_MACHINE, accountKey(name));
    rewriteList();
    m_store.DeleteValue(HKEY_LOCAL_MACHINE, kProductKey, listValueName(rowCount() + 1));
    m_current = -1;
    emit rowsChanged();
}

void AccountBook::saveFlags()
{
    for (const Row& row : m_rows)
        m_store.SaveString(HKEY_LOCAL_MACHINE, accountKey(row.name), kSelected,
                           StoredText::truthText(row.checked));
}

bool AccountBook::hasCurrentAccount() const
{
    return !currentName().isEmpty();
}

void AccountBook::saveField(const QString& name, const QString& text)
{
    if (hasCurrentAccount())
        m_store.SaveString(HKEY_LOCAL_MACHINE, accountKey(currentName()), name, text);
}

template <typename T>
void AccountBook::setAndSave(T Account::*field, const T& value, const QString& valueName, const QString& text)
{
    m_loaded.*field = value;
    saveField(valueName, text);
    emit loadedChanged();
}

void AccountBook::setHost(const QString& text)
{
    setAndSave(&Account::host, text, kHost, text);
}

void AccountBook::setUser(const QString& text)
{
    setAndSave(&Account::user, text, kUser, text);
}

void AccountBook::setPassword(const QString& text)
{
    m_loaded.password = text;
    if (m_loaded.rememberPassword || text.isEmpty())
        saveField(kPassword, text);
    emit loadedChanged();
}

void AccountBook::setRememberPassword(bool remember)
{
    m_loaded.rememberPassword = remember;
    saveField(kRemember, StoredText::flagText(remember));
    if (!remember && hasCurrentAccount())
        m_store.DeleteValue(HKEY_LOCAL_MACHINE, accountKey(currentName()), kPassword);
    emit loadedChanged();
}

void AccountBook::setFolder(const QString& text)
{
    setAndSave(&Account::folder, text, kFolder, text);
}

void AccountBook::finishFolderEdit()
{
    if (!m_loaded.folder.isEmpty() && !m_loaded.folder.endsWith(QLatin1Char('/')))
        setFolder(m_loaded.folder + QLatin1Char('/'));
}

void AccountBook::setFileName(const QString& text)
{
    setAndSave(&Account::fileName, text, kFileName, text);
}

void AccountBook::setLocally(bool set)
{
    setAndSave(&Account::locally, set, kLocally, StoredText::flagText(set));
}

void AccountBook::setOnlyLocally(bool set)
{
    setAndSave(&Account::onlyLocally, set, kOnlyLocally, StoredText::flagText(set));
}

void AccountBook::setLocalFolder(const QString& text)
{
    setAndSave(&Account::localFolder, text, kLocalFolder, text);
}

void AccountBook::setIntervalItem(int position)
{
    if (!IntervalTable::isValidPosition(position))
        return;
    // Presets and "Never" put their seconds into the field; "Custom" keeps what is typed there.
    if (const std::optional<QString> preset = IntervalTable::presetSecondsText(position))
        m_loaded.seconds = *preset;
    m_loaded.intervalItem = position;
    saveField(kEvery, IntervalTable::item(position).text);
    saveField(kCustom, m_loaded.seconds);
    emit loadedChanged();
}

QString AccountBook::storedSeconds(const QString& text)
{
    // A damaged stored interval must not turn into "Constantly" (which "0" means): it reads as no
    // interval, so the account uploads only when asked.
    if (!text.isEmpty() && !parseStoredNumber(text))
        return QString();
    return normalizedSeconds(text);
}

QString AccountBook::normalizedSeconds(const QString& text)
{
    if (text.isEmpty())
        return text;
    const std::optional<double> number = parseStoredNumber(text);
    if (!number || *number < 0)
        return QStringLiteral("0");
    const double whole = std::floor(*number);
    if (whole >= static_cast<double>(kMaxSeconds))
        return QString::number(kMaxSeconds);
    return QString::number(static_cast<qint64>(whole));
}

QString AccountBook::setSecondsText(const QString& text)
{
    const QString seconds = normalizedSeconds(text);
    m_loaded.seconds = seconds;
    // Typing a preset number keeps the chosen item; anything else means a custom interval.
    if (!IntervalTable::isPresetSecondsText(seconds) && m_loaded.intervalItem != IntervalTable::kNever &&
        m_loaded.intervalItem != IntervalTable::kCustom)
        setIntervalItem(IntervalTable::kCustom);
    saveField(kCustom, seconds);
    emit loadedChanged();
    return seconds;
}

void AccountBook::setBetween(bool set)
{
    setAndSave(&Account::between, set, kBetween, StoredText::flagText(set));
}

void AccountBook::setDateFrom(const QDate& date)
{
    setAndSave(&Account::dateFrom, date, kDateFrom, storedDateText(date));
}

void AccountBook::setDateTo(const QDate& date)
{
    setAndSave(&Account::dateTo, date, kDateTo, storedDateText(date));
}

void AccountBook::setTimestamp(bool set)
{
    setAndSave(&Account::timestamp, set, kTimestamp, StoredText::flagText(set));
}

void AccountBook::setTextTime(bool set)
{
    setAndSave(&Account::textTime, set, kTextTime, StoredText::flagText(set));
}

void AccountBook::setBackColor(quint32 color)
{
    const quint32 rgb = color & 0xFFFFFF;
    setAndSave(&Account::backColor, rgb, kBackcolor, QString::number(rgb));
}

void AccountBook::setForeColor(quint32 color)
{
    const quint32 rgb = color & 0xFFFFFF;
    setAndSave(&Account::foreColor, rgb, kForecolor, QString::number(rgb));
}

void AccountBook::setFont(bool bold, bool italic, const QString& name, double size)
{
    m_loaded.fontBold = bold;
    m_loaded.fontItalic = italic;
    m_loaded.fontName = name;
    // The size is kept in single precision, as the font dialog reports it.
    m_loaded.fontSize = static_cast<float>(size);
    saveField(kFontBold, StoredText::truthText(bold));
    saveField(kFontItalic, StoredText::truthText(italic));
    saveField(kFontName, name);
    saveField(kFontSize, storedNumberText(m_loaded.fontSize));
    emit loadedChanged();
}

void AccountBook::setProtocol(Account::Protocol protocol)
{
    setAndSave(&Account::protocol, protocol, kProtocol, Account::protocolText(protocol));
}

void AccountBook::setPassive(bool set)
{
    setAndSave(&Account::passive, set, kPassive, StoredText::flagText(set));
}

void AccountBook::setVerifyCertificate(bool set)
{
    setAndSave(&Account::verifyCertificate, set, kVerifyCertificate, StoredText::flagText(set));
}

void AccountBook::setKeyFile(const QString& path)
{
    setAndSave(&Account::keyFile, path, kKeyFile, path);
}

void AccountBook::setSafeReplace(bool set)
{
    setAndSave(&Account::safeReplace, set, kSafeReplace, StoredText::flagText(set));
}
