#pragma once
// The Trends window lives in a plugin of the panel's own package, loaded when Trends
// first opens: a panel that never shows it never loads the plot and print libraries.
// The history it shows is collected from start-up all the same.

#include "history/TrendHistory.h"
#include "link/PanelPlugin.h"
#include "link/PluginIds.h"

#include <QDateTime>
#include <QString>
#include <QtPlugin>

#include <functional>

class QWidget;

class TrendsViewFactory
{
public:
    virtual ~TrendsViewFactory() = default;

    // A window of its own, owned by `parent`, over `history`; `now` reads the steady
    // clock the history's times come from.
    virtual QWidget *createTrendsWindow(const TrendHistory &history, std::function<double()> now,
                                        QWidget *parent) = 0;
    // A read-only window over an incident capture, the trip at `tripUtc` marked. Null,
    // with `problem` saying why, when the file cannot be read.
    virtual QWidget *createIncidentWindow(const QString &path, const QDateTime &tripUtc, QWidget *parent,
                                          QString *problem) = 0;
};

// NORVANE_TRENDS_VIEW_IID names the project's version (link/PluginIds.h): the
// plugin reads the panel's history in place, so one of another build must not load.
Q_DECLARE_INTERFACE(TrendsViewFactory, NORVANE_TRENDS_VIEW_IID)

// The plugin's file name, in every folder it is looked for in.
inline constexpr char kTrendsPluginFile[] = "libnorvane_trends.so";

using TrendsViewPlugin = PanelPlugin<TrendsViewFactory>;

// A view linked into the program comes first; otherwise the plugin file in the panel's
// plugin folders, installed in ../lib/norvane.
TrendsViewPlugin loadTrendsViewPlugin();
