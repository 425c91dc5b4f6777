// The plugin the panel loads when Trends first opens; it alone brings the plot library.

#include "Gui/TrendsViewPlugin.h"
#include "Gui/trends/TrendsWindow.h"
#include "alarms/IncidentHistory.h"

#include <QFileInfo>
#include <QObject>

namespace {

// Keeps a capture's history as long as the window that shows it.
class HistoryHolder final : public QObject
{
public:
    HistoryHolder(std::unique_ptr<TrendHistory> history, QObject *parent)
        : QObject(parent), m_history(std::move(history))
    {
    }

private:
    std::unique_ptr<TrendHistory> m_history;
};

} // namespace

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

    QWidget *createIncidentWindow(const QString &path, const QDateTime &tripUtc, QWidget *parent,
                                  QString *problem) override
    {
        std::unique_ptr<TrendHistory> history = loadIncidentHistory(path, problem);
        if (!history)
            return nullptr;
        const TrendHistory &kept = *history;
        const double trip = static_cast<double>(kept.utcAt(0).msecsTo(tripUtc)) / 1000;
        // The capture ends half a minute after the trip; the view stops there.
        const double end = trip + 30;
        auto *window = new TrendsWindow(kept, [end] { return end; }, parent);
        new HistoryHolder(std::move(history), window);
        window->setWindowTitle(QStringLiteral("Trends - ") + QFileInfo(path).fileName());
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->showIncident(trip, end);
        return window;
    }
};

#include "TrendsPlugin.moc"
