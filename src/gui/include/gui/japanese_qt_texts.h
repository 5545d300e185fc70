#pragma once
// Qt's own texts (the buttons of message boxes, the file and folder dialogs, the calendar of the
// date pickers) in Japanese like the rest of the windows, whatever the system's locale.

class QCoreApplication;

// Makes Japanese the default locale (month and day names, date formats) and installs Qt's
// Japanese translation (qtbase_ja from Qt's translations folder, Debian qt6-translations-l10n)
// into `application`. False, with a warning in the log, when the translation cannot be loaded:
// Qt's texts then stay English.
bool installJapaneseQtTexts(QCoreApplication& application);
