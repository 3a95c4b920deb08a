#pragma once

#include <QByteArray>
#include <QVariant>

// A data map written as JSON text that shows every value and its type, for files that a person
// reads and a test compares byte for byte: keys in the map's own (sorted) order, two-space
// indentation, a container of plain values on one line when it fits. Values that JSON cannot
// carry exactly are written as one-key objects naming their type:
//   int, bool, text, null    3, true, "text", null
//   double                   always with a decimal point or exponent (3.0, 0.457, 1e+300);
//                            {"double": "nan"} / "inf" / "-inf" when not finite
//   other integer types      {"uint": 3}, {"int64": -3}, {"uint64": 18446744073709551615}
//   byte array               {"bytes": "hex digits"}, or a list of lines of 80 hex digits
//   MapSignalTable           {"signalTable": [its entries as map signal entries]}
//   anything else            {"<type name>": text of QVariant::toString()}
namespace DataMapJson {

QByteArray toJson(const QVariant &value);

} // namespace DataMapJson
