#pragma once

#include "ViewChoices.h"

#include <QtQml/qqmlregistration.h>

// The named choices as the window's documents read them: ListScope.Selection,
// SignalLayer.Symbols, ...
namespace ZorvyTcoListScope {
Q_NAMESPACE
QML_FOREIGN_NAMESPACE(ListScope)
QML_NAMED_ELEMENT(ListScope)
} // namespace ZorvyTcoListScope

namespace ZorvyTcoSignalLayer {
Q_NAMESPACE
QML_FOREIGN_NAMESPACE(SignalLayer)
QML_NAMED_ELEMENT(SignalLayer)
} // namespace ZorvyTcoSignalLayer
