#include "options/ProgramOptions.h"

#include "options/AutostartEntry.h"
#include "options/OptionFields.h"
#include "settings/Regedit.h"

#include <QStringList>

#include <algorithm>

namespace {
const QString kHundred = QStringLiteral("100");
} // namespace

ProgramOptions::ProgramOptions(Regedit& store, QObject* parent) : QObject(parent), m_store(store) {}

void ProgramOptions::load() const
{
    m_loaded = true;
    OptionFields::load(m_values, [this](const QString& name) {
        return m_store.GetString(HKEY_LOCAL_MACHINE, kProductKey, name);
    });
}

const ProgramOptions::Values& ProgramOptions::values() const
{
    if (!m_loaded)
        load();
    return m_values;
}

ProgramOptions::Values& ProgramOptions::edit()
{
    if (!m_loaded)
        load();
    return m_values;
}

template <typename T> void ProgramOptions::set(T Values::*field, const T& value)
{
    Values& v = edit();
    if (v.*field == value)
        return;
    v.*field = value;
    emit changed();
}

bool ProgramOptions::min() const
{
    return values().min;
}
bool ProgramOptions::systray() const
{
    return values().systray;
}
bool ProgramOptions::autostart() const
{
    return values().autostart;
}
bool ProgramOptions::close() const
{
    return values().close;
}
QString ProgramOptions::closeCount() const
{
    return values().closeCount;
}
bool ProgramOptions::keep() const
{
    return values().keep;
}
bool ProgramOptions::suc() const
{
    return values().suc;
}
bool ProgramOptions::print() const
{
    return values().print;
}
bool ProgramOptions::motion() const
{
    return values().motion;
}
bool ProgramOptions::ask() const
{
    return values().ask;
}
bool ProgramOptions::sound() const
{
    return values().sound;
}
bool ProgramOptions::notify() const
{
    return values().notify;
}
QString ProgramOptions::soundSec() const
{
    return values().soundSec;
}
QString ProgramOptions::soundSrc() const
{
    return values().soundSrc;
}
QString ProgramOptions::textTimeName() const
{
    return values().textTimeName;
}
QString ProgramOptions::timeFileName() const
{
    // The stored text stays as it is (empty) until the person types a name.
    const QString name = values().textTimeName;
    return name.trimmed().isEmpty() ? kDefaultTimeFileName : name;
}
QString ProgramOptions::quality() const
{
    return values().quality;
}
QString ProgramOptions::bgPic() const
{
    return values().bgPic;
}
std::optional<quint32> ProgramOptions::bgColor() const
{
    return values().bgColor;
}

int ProgramOptions::jpegQuality()
{
    const std::optional<qint64> value = OptionFields::number(quality());
    if (!value) {
        set(&Values::quality, kHundred);
        return 100;
    }
    return static_cast<int>(std::clamp<qint64>(*value, 0, 100));
}

void ProgramOptions::setMin(bool value)
{
    set(&Values::min, value);
}
void ProgramOptions::setSystray(bool value)
{
    set(&Values::systray, value);
}
void ProgramOptions::setAutostart(bool value)
{
    set(&Values::autostart, value);
}
void ProgramOptions::setClose(bool value)
{
    set(&Values::close, value);
}
void ProgramOptions::setCloseCount(const QString& text)
{
    set(&Values::closeCount, text);
}
void ProgramOptions::setKeep(bool value)
{
    set(&Values::keep, value);
}
void ProgramOptions::setSuc(bool value)
{
    set(&Values::suc, value);
}
void ProgramOptions::setPrint(bool value)
{
    set(&Values::print, value);
}
void ProgramOptions::setMotion(bool value)
{
    set(&Values::motion, value);
}
void ProgramOptions::setAsk(bool value)
{
    set(&Values::ask, value);
}
void ProgramOptions::setSound(bool value)
{
    set(&Values::sound, value);
}
void ProgramOptions::setNotify(bool value)
{
    set(&Values::notify, value);
}
void ProgramOptions::setSoundSec(const QString& text)
{
    set(&Values::soundSec, text);
}
void ProgramOptions::setSoundSrc(const QString& text)
{
    set(&Values::soundSrc, text);
}
void ProgramOptions::setTextTimeName(const QString& text)
{
    set(&Values::textTimeName, text);
}
void ProgramOptions::setQuality(const QString& text)
{
    set(&Values::quality, text);
}
void ProgramOptions::setBgPic(const QString& text)
{
    set(&Values::bgPic, text);
}
void ProgramOptions::setBgColor(quint32 color)
{
    set(&Values::bgColor, std::optional<quint32>(color & 0xFFFFFF));
}

Result<void> ProgramOptions::storeAll(const AutostartEntry::Command& autostart)
{
    const Values& v = values();
    std::optional<Failure> unsaved;
    Result<void> entry;
    for (const OptionFields::Field& field : OptionFields::all()) {
        // A colour nobody chose is not stored: the window stays white rather than turning black.
        if (const std::optional<QString> text = OptionFields::text(field, v)) {
            if (Result<void> saved = m_store.SaveString(HKEY_LOCAL_MACHINE, kProductKey, field.name, *text);
                !saved && !unsaved)
                unsaved = saved.failure();
        }
        if (field.name == OptionFields::kAutostart)
            entry = v.autostart ? AutostartEntry::write(autostart) : AutostartEntry::remove();
    }
    if (!unsaved && entry)
        return {};
    QStringList problems;
    if (unsaved)
        problems << QStringLiteral("The options could not be saved: %1.").arg(unsaved->sentence);
    if (!entry)
        problems << entry.failure().sentence;
    return Failure::of(unsaved ? unsaved->kind : entry.failure().kind, problems.join(QLatin1Char('\n')));
}
