// The plugin the panel loads when Trends first opens; it alone brings the plot library.

#include "Gui/TrendsViewPlugin.h"
#include "Gui/trends/TrendsWindow.h"

#include <QObject>

class TrendsPlugin final : public QObject, public TrendsViewFactory
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID NORVANE_TRENDS_VIEW_IID)
    Q_INTERFACES(TrendsViewFactory)

public:
    QWidget *createTrendsWindow(const TrendHistory &history, std::function<double()> now, QWidget *parent) override
    {
        return new TrendsWindow(history, std::move(now), parent);
    }
};

#include "TrendsPlugin.moc"
