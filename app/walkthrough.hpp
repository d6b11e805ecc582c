#pragma once
// The screenshot walk: drives every window on a generated card with scripted
// answers and writes a PNG of each into a folder.

#include <QString>

namespace tav::app {

int RunScreenshotWalk(const QString& folder);

}  // namespace tav::app
