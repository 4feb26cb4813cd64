#pragma once
// What the main window needs of the export dialog: running it.

#include <QString>
#include <string>

#include "export/options.h"
#include "i18n/messages.h"

class QWidget;

namespace gw {

class DialogService;

// Creates the dialog, applies the language, shows it modally and frees it. True with the
// options when it ended with OK. The first entry's path and icon index feed the sample.
bool ShowExportDialog(const std::string& appFolder, const MessageCatalogue& messages,
                      DialogService& dialogs, const QString& title, const std::string& sourceFile,
                      int sourceIconIndex, ExportOptions& options, QWidget* parent = nullptr);

}  // namespace gw
