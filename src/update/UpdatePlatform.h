#pragma once

#include <QLatin1StringView>

// The two things about an update that depend on the platform this program was built for: the
// platform a manifest must name, and how a downloaded installer is stored so that it can be run.
namespace UpdatePlatform {

#ifdef Q_OS_WIN
inline constexpr QLatin1StringView manifestPlatform{"windows-x64"};
inline constexpr QLatin1StringView installerSuffix{".exe"};
// Windows runs a program by its name; nothing to mark.
inline constexpr bool markInstallerExecutable = false;
#else
inline constexpr QLatin1StringView manifestPlatform{"linux-x64"};
inline constexpr QLatin1StringView installerSuffix{".run"};
// A downloaded file is not executable until its owner may run it.
inline constexpr bool markInstallerExecutable = true;
#endif

} // namespace UpdatePlatform
