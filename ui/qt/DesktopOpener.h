#pragma once

#include <QString>

// Hands a web address to the desktop's default browser as the text stands, also where it is no
// valid URL (a port box holding "abc"): the desktop decides what to make of it. False only when
// the desktop could not be asked.
bool OpenWithDesktop(const QString& url);
