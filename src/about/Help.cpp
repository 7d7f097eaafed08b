#include "about/Help.h"

namespace {
QString g_helpFile;
HelpSink *g_sink = nullptr;
} // namespace

void SetHelpFile(const QString &name)
{
    g_helpFile = name;
}

QString HelpFile()
{
    return g_helpFile;
}

void setHelpSink(HelpSink *sink)
{
    g_sink = sink;
}

void HelpContents()
{
    if (g_sink)
        g_sink->showHelp(g_helpFile, HelpContentsPage);
}

void HelpContext(int context)
{
    if (g_sink)
        g_sink->showHelp(g_helpFile, context);
}
