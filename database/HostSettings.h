#pragma once

#include <QString>
#include <variant>

#include "ImportSession.h"

// A settings value as Check takes and gives it: a text, a Boolean or nothing.
using SettingValue = std::variant<std::monostate, bool, QString>;

// Turns a settings value into the other kind: a Boolean gives the text "true" or "false"; a text
// gives true when it is "1" or, letter case ignored, "true" (false for every other text, the
// empty one included); nothing gives nothing.
SettingValue Check(const SettingValue& value);

// Reads the host application's "Configurations.plist" beside the database folder (the parent of
// DBPath) and takes from it the database folder ("DBPath", unless "UseDefaultDBPath" is true;
// used only when it names an existing folder) and the five book names. When DBPath is empty the
// file is looked for where the host keeps it, in the application-data folder. A missing,
// unreadable or malformed file, or one that is not a regular file, changes nothing; nothing is
// ever reported.
void SubConfigRead(ImportSession& session);
