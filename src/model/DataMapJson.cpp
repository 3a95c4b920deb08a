#include "DataMapJson.h"

#include "MapSignalTable.h"

#include <QHash>
#include <QVariantList>
#include <QVariantMap>

#include <charconv>
#include <cmath>

namespace DataMapJson {

namespace {

constexpr int lineWidth = 100;
constexpr int bytesPerLine = 40; // 80 hex digits

QByteArray quoted(const QString &text)
{
    QByteArray out = "\"";
    for (const char c : text.toUtf8()) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (byte < 0x20 || byte == 0x7f) {
            out += "\\u00" + QByteArray::number(byte, 16).rightJustified(2, '0');
        } else {
            out += c;
        }
    }
    return out + '"';
}

QByteArray tagged(const char *type, const QByteArray &value)
{
    return QByteArray("{\"") + type + "\": " + value + '}';
}

QByteArray doubleText(double value)
{
    if (std::isnan(value))
        return tagged("double", "\"nan\"");
    if (std::isinf(value))
        return tagged("double", value > 0 ? "\"inf\"" : "\"-inf\"");
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value); // shortest exact
    QByteArray text(buffer, result.ptr - buffer);
    if (!text.contains('.') && !text.contains('e'))
        text += ".0";
    return text;
}

class TextWriter
{
public:
    QByteArray out;

    void writeValue(const QVariant &value, int indent)
    {
        const int type = value.metaType().id();
        if (value.metaType() == QMetaType::fromType<MapSignalTable>()) {
            // Its entries as the list of map signal entries they stand for.
            out += "{\"signalTable\": ";
            writeList(MapSignalTable::fromVariant(value).toList(), indent);
            out += '}';
            return;
        }
        switch (type) {
        case QMetaType::UnknownType:
        case QMetaType::Nullptr:
            out += "null";
            return;
        case QMetaType::Bool:
            out += value.toBool() ? "true" : "false";
            return;
        case QMetaType::Int:
            out += QByteArray::number(value.toInt());
            return;
        case QMetaType::UInt:
            out += tagged("uint", QByteArray::number(value.toUInt()));
            return;
        case QMetaType::LongLong:
            out += tagged("int64", QByteArray::number(value.toLongLong()));
            return;
        case QMetaType::ULongLong:
            out += tagged("uint64", QByteArray::number(value.toULongLong()));
            return;
        case QMetaType::Double:
            out += doubleText(value.toDouble());
            return;
        case QMetaType::QString:
            out += quoted(value.toString());
            return;
        case QMetaType::QByteArray:
            writeBytes(value.toByteArray(), indent);
            return;
        case QMetaType::QVariantList:
            writeList(*static_cast<const QVariantList *>(value.constData()), indent);
            return;
        case QMetaType::QVariantMap:
            writeMap(*static_cast<const QVariantMap *>(value.constData()), indent);
            return;
        default:
            out += tagged(value.metaType().name(), quoted(value.toString()));
            return;
        }
    }

private:
    static bool isContainer(const QVariant &value)
    {
        const int type = value.metaType().id();
        return type == QMetaType::QVariantList || type == QMetaType::QVariantMap ||
               type == QMetaType::QByteArray ||
               value.metaType() == QMetaType::fromType<MapSignalTable>();
    }

    static QByteArray newline(int indent) { return '\n' + QByteArray(indent, ' '); }

    // The text of plain values on one line, or empty when one of them is a container.
    template <typename Each> static QByteArray flat(qsizetype count, Each each)
    {
        QByteArray line;
        for (qsizetype i = 0; i < count; ++i) {
            QByteArray item;
            if (!each(i, item))
                return QByteArray();
            line += (i ? ", " : "") + item;
        }
        return line;
    }

    void writeList(const QVariantList &list, int indent)
    {
        if (list.isEmpty()) {
            out += "[]";
            return;
        }
        const QByteArray line = flat(list.size(), [&](qsizetype i, QByteArray &item) {
            if (isContainer(list[i]))
                return false;
            TextWriter plain;
            plain.writeValue(list[i], 0);
            item = plain.out;
            return true;
        });
        if (!line.isEmpty() && indent + line.size() + 2 <= lineWidth) {
            out += '[' + line + ']';
            return;
        }
        out += '[';
        for (qsizetype i = 0; i < list.size(); ++i) {
            out += (i ? "," : "") + newline(indent + 2);
            writeValue(list[i], indent + 2);
        }
        out += newline(indent) + ']';
    }

    void writeMap(const QVariantMap &map, int indent)
    {
        if (map.isEmpty()) {
            out += "{}";
            return;
        }
        const QList<QString> keys = map.keys();
        const QByteArray line = flat(keys.size(), [&](qsizetype i, QByteArray &item) {
            const QVariant &value = map.find(keys[i]).value();
            if (isContainer(value))
                return false;
            TextWriter plain;
            plain.writeValue(value, 0);
            item = quoted(keys[i]) + ": " + plain.out;
            return true;
        });
        if (!line.isEmpty() && indent + line.size() + 2 <= lineWidth) {
            out += '{' + line + '}';
            return;
        }
        out += '{';
        bool first = true;
        for (auto it = map.cbegin(); it != map.cend(); ++it) {
            out += (first ? "" : ",") + newline(indent + 2) + quoted(it.key()) + ": ";
            writeValue(it.value(), indent + 2);
            first = false;
        }
        out += newline(indent) + '}';
    }

    void writeBytes(const QByteArray &bytes, int indent)
    {
        if (bytes.size() <= bytesPerLine) {
            out += tagged("bytes", '"' + bytes.toHex() + '"');
            return;
        }
        out += "{\"bytes\": [";
        for (qsizetype at = 0; at < bytes.size(); at += bytesPerLine)
            out += (at ? "," : "") + newline(indent + 2) + '"' +
                   bytes.mid(at, bytesPerLine).toHex() + '"';
        out += newline(indent) + "]}";
    }
};

} // namespace

QByteArray toJson(const QVariant &value)
{
    TextWriter writer;
    writer.writeValue(value, 0);
    return writer.out + '\n';
}

} // namespace DataMapJson
