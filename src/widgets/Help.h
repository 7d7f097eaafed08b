#pragma once
// Help requests. Every window names the help file just before it asks, as the operator's
// help pages are organised by file and numbered context.
#include <QString>

// Where requests go; the default opens the help viewer. Tests install a recorder.
class HelpSink
{
public:
    virtual ~HelpSink() = default;
    virtual void showHelp(const QString &helpFile, int context) = 0; // context -1: contents
};

void SetHelpFile(const QString &name);
QString HelpFile();
void HelpContents();
void HelpContext(int context);
void setHelpSink(HelpSink *sink); // nullptr restores the viewer

inline constexpr int HelpContentsPage = -1;
inline constexpr char HelpFileName[] = "Quilbo_HELP.HLP";
