#include "widgets/Help.h"

#include "widgets/HelpViewer.h"

namespace
{
QString g_helpFile;
HelpSink *g_sink = nullptr;

HelpSink &sink()
{
    return g_sink ? *g_sink : HelpViewerSink();
}
} // namespace

void SetHelpFile(const QString &name)
{
    g_helpFile = name;
}

QString HelpFile()
{
    return g_helpFile;
}

void setHelpSink(HelpSink *s)
{
    g_sink = s;
}

void HelpContents()
{
    sink().showHelp(g_helpFile, HelpContentsPage);
}

void HelpContext(int context)
{
    sink().showHelp(g_helpFile, context);
}
