#include "capture/SourceControls.h"

#include <gst/video/colorbalance.h>

namespace {
constexpr quint32 kOpaque = 0xff000000u;

GstColorBalance* colourBalanceOf(GstElement* source)
{
    if (!source)
        return nullptr;
    if (GST_IS_COLOR_BALANCE(source))
        return GST_COLOR_BALANCE(source);
    if (GST_IS_BIN(source)) {
        // The bin keeps the element alive; only the borrowed pointer is needed here.
        GstPtr<GstElement> inner(gst_bin_get_by_interface(GST_BIN(source), GST_TYPE_COLOR_BALANCE));
        return inner ? GST_COLOR_BALANCE(inner.get()) : nullptr;
    }
    return nullptr;
}

GEnumClass* patternEnum(GstElement* source)
{
    GParamSpec* property =
        source ? g_object_class_find_property(G_OBJECT_GET_CLASS(source), "pattern") : nullptr;
    return property && G_IS_PARAM_SPEC_ENUM(property) ? G_PARAM_SPEC_ENUM(property)->enum_class : nullptr;
}

QList<CaptureControl> testPatternControls(GstElement* source, const QMap<QString, int>& values)
{
    QList<CaptureControl> list;
    if (GEnumClass* patterns = patternEnum(source)) {
        CaptureControl pattern;
        pattern.name = QStringLiteral("pattern");
        pattern.label = QStringLiteral("Pattern");
        pattern.kind = CaptureControl::Kind::Choice;
        // The enum's own descriptions ("SMPTE 100% color bars"), not its short nicks ("smpte").
        for (guint i = 0; i < patterns->n_values; ++i)
            pattern.choices.append(QString::fromUtf8(patterns->values[i].value_name));
        pattern.maximum = int(patterns->n_values) - 1;
        pattern.value = values.value(pattern.name, 0);
        list.append(pattern);
    }
    auto colour = [&](const char* name, const char* label, int defaultValue) {
        CaptureControl control;
        control.name = QString::fromLatin1(name);
        control.label = QString::fromLatin1(label);
        control.kind = CaptureControl::Kind::Colour;
        control.maximum = 0xffffff;
        control.defaultValue = defaultValue;
        control.value = values.value(control.name, defaultValue);
        list.append(control);
    };
    colour("foreground-color", "Foreground colour", 0xffffff);
    colour("background-color", "Background colour", 0x000000);
    return list;
}

QList<CaptureControl> colourBalanceControls(GstElement* source)
{
    QList<CaptureControl> list;
    GstColorBalance* balance = colourBalanceOf(source);
    if (!balance)
        return list;
    for (const GList* item = gst_color_balance_list_channels(balance); item; item = item->next) {
        auto* channel = GST_COLOR_BALANCE_CHANNEL(item->data);
        CaptureControl control;
        control.name = QString::fromUtf8(channel->label);
        control.label = control.name;
        control.minimum = channel->min_value;
        control.maximum = channel->max_value;
        control.value = gst_color_balance_get_value(balance, channel);
        control.defaultValue = (channel->min_value + channel->max_value) / 2;
        list.append(control);
    }
    return list;
}
} // namespace

QList<CaptureControl> SourceControls::list(DriverList::Kind kind, GstElement* source,
                                           const QMap<QString, int>& values)
{
    if (kind == DriverList::Kind::TestPattern)
        return testPatternControls(source, values);
    return colourBalanceControls(source);
}

void SourceControls::apply(DriverList::Kind kind, GstElement* source, const QMap<QString, int>& values)
{
    if (!source)
        return;
    if (kind == DriverList::Kind::TestPattern) {
        GEnumClass* patterns = patternEnum(source);
        for (auto it = values.cbegin(); it != values.cend(); ++it) {
            if (it.key() == QLatin1String("pattern") && patterns && it.value() >= 0 &&
                guint(it.value()) < patterns->n_values)
                g_object_set(source, "pattern", patterns->values[it.value()].value, nullptr);
            else if (it.key() == QLatin1String("foreground-color") ||
                     it.key() == QLatin1String("background-color"))
                g_object_set(source, it.key().toLatin1().constData(), guint(kOpaque | quint32(it.value())),
                             nullptr);
        }
        return;
    }
    GstColorBalance* balance = colourBalanceOf(source);
    if (!balance)
        return;
    for (const GList* item = gst_color_balance_list_channels(balance); item; item = item->next) {
        auto* channel = GST_COLOR_BALANCE_CHANNEL(item->data);
        const QString name = QString::fromUtf8(channel->label);
        if (values.contains(name))
            gst_color_balance_set_value(
                balance, channel, std::clamp(values.value(name), channel->min_value, channel->max_value));
    }
}
