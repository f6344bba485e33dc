// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCScriptOutput.h"

#include "KLVRFormat.h"
#include "KLVRRWCAbsoluteDuration.h"
#include "KLVRRWCDuration.h"
#include "KLVRRWCScriptingDate.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const QStringList kColumns{QStringLiteral("date"), QStringLiteral("summary"), QStringLiteral("monitor"),
                           QStringLiteral("group"), QStringLiteral("attributes")};

// A field on one line of tab-separated values: tabs and line breaks become blanks.
QString cell(QString text)
{
    for (QChar &c : text) {
        if (c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r'))
            c = QLatin1Char(' ');
    }
    return text;
}

QString seconds(double value)
{
    return KLVRFormat::string(QStringLiteral("%.0f s"), value);
}

QJsonObject secondsObject(const KLVRRWCSecondsByName &values)
{
    QJsonObject object;
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        object.insert(it.key(), it.value());
    return object;
}

} // namespace

void KLVRRWCScriptOutput::printEntries(const KLVRRWCScriptRecords &records, KLVRRWCCommandLine::Format format,
                                       KLVRAbsoluteTime from, KLVRAbsoluteTime to, QTextStream &output)
{
    using Format = KLVRRWCCommandLine::Format;
    QJsonArray array;
    if (format == Format::TSV)
        output << kColumns.join(QLatin1Char('\t')) << '\n';
    for (const QVariantMap &record : records) {
        const KLVRAbsoluteTime date = KLVRRWCScriptingDate::fromText(record.value(QStringLiteral("date")).toString());
        if ((from.isValid() && date < from) || (to.isValid() && date > to))
            continue;
        switch (format) {
        case Format::Text:
            output << KLVRFormat::string(QStringLiteral("%@\t%@\t%@"), KLVRRWCAbsoluteDuration::dateDescription(date),
                                         record.value(QStringLiteral("summary")).toString(),
                                         record.value(QStringLiteral("attributes")).toString())
                   << '\n';
            break;
        case Format::TSV: {
            QStringList fields;
            for (const QString &column : kColumns)
                fields << cell(record.value(column).toString());
            output << fields.join(QLatin1Char('\t')) << '\n';
            break;
        }
        case Format::JSON: {
            QJsonObject object;
            for (const QString &column : kColumns)
                object.insert(column, record.value(column).toString());
            array.append(object);
            break;
        }
        }
    }
    if (format == Format::JSON)
        output << QJsonDocument(array).toJson(QJsonDocument::Indented);
    output.flush();
}

void KLVRRWCScriptOutput::printFigures(const KLVRRWCSliceFigures &figures, bool json, QTextStream &output)
{
    const double awake = figures.usageSeconds(QStringLiteral("Awake"));
    const double asleep = figures.usageSeconds(QStringLiteral("Asleep"));
    const double off = figures.usageSeconds(QStringLiteral("Off"));
    if (json) {
        QJsonObject batteries;
        for (auto it = figures.batteries.cbegin(); it != figures.batteries.cend(); ++it)
            batteries.insert(it.key(), secondsObject(it.value()));
        const QJsonObject object{{QStringLiteral("start"), KLVRRWCScriptingDate::toText(figures.start)},
                                 {QStringLiteral("end"), KLVRRWCScriptingDate::toText(figures.end)},
                                 {QStringLiteral("duration"), figures.duration},
                                 {QStringLiteral("title"), figures.title},
                                 {QStringLiteral("awake"), awake},
                                 {QStringLiteral("asleep"), asleep},
                                 {QStringLiteral("off"), off},
                                 {QStringLiteral("usage"), secondsObject(figures.usage)},
                                 {QStringLiteral("powerSource"), secondsObject(figures.powerSource)},
                                 {QStringLiteral("batteries"), batteries}};
        output << QJsonDocument(object).toJson(QJsonDocument::Indented);
        output.flush();
        return;
    }
    const auto line = [&output](const QString &name, const QString &value) {
        output << (name + QLatin1Char(':')).leftJustified(16) << value << '\n';
    };
    const auto time = [](double value) {
        return seconds(value) + QStringLiteral(" (") + KLVRRWCDuration(value).stringValue() + QLatin1Char(')');
    };
    line(QStringLiteral("Title"), figures.title);
    line(QStringLiteral("Start"), KLVRRWCScriptingDate::toText(figures.start));
    line(QStringLiteral("End"), KLVRRWCScriptingDate::toText(figures.end));
    line(QStringLiteral("Duration"), seconds(figures.duration));
    line(QStringLiteral("Awake"), time(awake));
    line(QStringLiteral("Asleep"), time(asleep));
    line(QStringLiteral("Off"), time(off));
    output << "Usage:\n";
    for (auto it = figures.usage.cbegin(); it != figures.usage.cend(); ++it)
        line(QStringLiteral("  ") + it.key(), time(it.value()));
    output << "Power source:\n";
    for (auto it = figures.powerSource.cbegin(); it != figures.powerSource.cend(); ++it)
        line(QStringLiteral("  ") + it.key(), time(it.value()));
    for (auto it = figures.batteries.cbegin(); it != figures.batteries.cend(); ++it) {
        const QMap<QString, double> &battery = it.value();
        line(QStringLiteral("Battery ") + it.key(),
             KLVRFormat::string(QStringLiteral("minimum %.1f %%, average %.1f %%, maximum %.1f %%"),
                                battery.value(QStringLiteral("minimum")), battery.value(QStringLiteral("average")),
                                battery.value(QStringLiteral("maximum"))));
    }
    output.flush();
}
