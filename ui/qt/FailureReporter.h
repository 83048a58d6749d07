#pragma once

#include <QString>

#include <functional>

// Where a failure that ended an event handler goes: by default the application's message box
// (the caption, the failure's text, a stop icon, OK). Tests replace it to read the message
// instead of facing a modal box.
using FailureReporter = std::function<void(const QString& caption, const QString& text)>;

void SetFailureReporter(FailureReporter reporter);
void ReportFailure(const QString& caption, const QString& text);

// A failure's text as the user should read it: UTF-8 where it is valid UTF-8, else each byte as
// its Latin-1 character (a switch may answer in another code page).
QString MessageText(const char* bytes);
