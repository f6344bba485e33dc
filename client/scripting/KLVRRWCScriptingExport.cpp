// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCScriptingExport.h"

#include "KLVRRWCScriptingGraph.h"

#include <QBuffer>
#include <QDBusArgument>
#include <QDBusVariant>
#include <QDir>
#include <QFile>
#include <QImageWriter>
#include <QUrl>
#include <cmath>

namespace {

const QString kDestinationFile = QStringLiteral("destinationFile");

// A value as a number, whatever integer or real type it came as; false for anything else.
bool toNumber(QVariant value, double &number)
{
    if (value.userType() == qMetaTypeId<QDBusVariant>())
        value = value.value<QDBusVariant>().variant();
    switch (value.typeId()) {
    case QMetaType::Bool:
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::UChar:
    case QMetaType::SChar:
        number = value.toDouble();
        return std::isfinite(number);
    default:
        return false;
    }
}

QString localPath(const QVariant &value)
{
    const QString text = value.toString();
    if (text.startsWith(QLatin1String("file:"))) {
        const QUrl url(text);
        return url.isLocalFile() ? url.toLocalFile() : QString();
    }
    return text;
}

} // namespace

KLVRRWCScriptingError KLVRRWCScriptingExport::evaluatedNumericArgument(const QVariantMap &arguments, const QString &key,
                                                                       double minimum, double maximum, double base,
                                                                       double &value)
{
    if (!arguments.contains(key)) {
        value = base;
        return {};
    }
    double number = 0.0;
    if (!toNumber(arguments.value(key), number))
        return KLVRRWCScriptingError::invalid(key, QStringLiteral("%1 is not a number").arg(key));
    if (number < minimum)
        return KLVRRWCScriptingError::tooSmall(key);
    if (number > maximum)
        return KLVRRWCScriptingError::tooLarge(key);
    value = number;
    return {};
}

KLVRRWCScriptingError KLVRRWCScriptingExport::readArguments(const QVariantMap &arguments, const QSizeF &defaultSize,
                                                            Request &request)
{
    QVariant destination = arguments.value(kDestinationFile);
    if (destination.userType() == qMetaTypeId<QDBusVariant>())
        destination = destination.value<QDBusVariant>().variant();
    request.destinationFile = localPath(destination);
    if (request.destinationFile.isEmpty() || !QDir::isAbsolutePath(request.destinationFile))
        return KLVRRWCScriptingError::invalid(kDestinationFile,
                                              QStringLiteral("destinationFile must be an absolute path or a file: URL"));
    double title = 1.0;
    double border = 1.0;
    for (auto [key, minimum, maximum, base, value] :
         {std::tuple{QStringLiteral("width"), kMinimumSide, kMaximumSide, defaultSize.width(), &request.width},
          std::tuple{QStringLiteral("height"), kMinimumSide, kMaximumSide, defaultSize.height(), &request.height},
          std::tuple{QStringLiteral("title"), 0.0, 1.0, 1.0, &title},
          std::tuple{QStringLiteral("border"), 0.0, 1.0, 1.0, &border}}) {
        const KLVRRWCScriptingError error = evaluatedNumericArgument(arguments, key, minimum, maximum, base, *value);
        if (error.isError())
            return error;
    }
    request.titled = title != 0.0;
    request.bordered = border != 0.0;
    return {};
}

KLVRRWCScriptingError KLVRRWCScriptingExport::run(const KLVRRWCScriptingGraph &graph, const QVariantMap &arguments)
{
    Request request;
    const KLVRRWCScriptingError refused = readArguments(arguments, graph.currentSize(), request);
    if (refused.isError())
        return refused;
    const QImage image = graph.image(request.width, request.height, request.titled, request.bordered);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (image.isNull() || !writer.write(image))
        return KLVRRWCScriptingError::unableToCreateFile(request.destinationFile);
    QFile file(request.destinationFile);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(png) != png.size() || !file.flush())
        return KLVRRWCScriptingError::unableToCreateFile(request.destinationFile);
    return {};
}
