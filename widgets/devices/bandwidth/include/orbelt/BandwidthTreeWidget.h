// The bandwidth manager's tree: transport layers, GigE adapters, USB controllers and hubs with their
// cameras, the measured rates per camera, limit and configuration editors and the GigE "Optimize" buttons.
#pragma once

#include "orbelt/Export.h"
#include "orbelt/FlatTreeData.h"
#include "orbelt/GigEOptimization.h"

#include <GenICam/gcstring_vector.h>

#include <QDateTime>
#include <QFont>
#include <QIcon>
#include <QList>
#include <QLocale>
#include <QMetaType>
#include <QSignalMapper>
#include <QString>
#include <QTreeWidget>
#include <QVector>

#include <cstdint>
#include <functional>

#include <nimbo/InstantCamera.h>

class QDialog;
class QSettings;
namespace Nimbo {
class INimboDevice;
}

// The first ancestor widget, starting at the parent, that is a dialog; null when there is none.
ORBELT_EXPORT QDialog* nearestDialog(QObject* object);

// What the row of a switched-on camera shows of its last sample in columns 3 to 7.
struct ORBELT_EXPORT SampleDataView {
    QString payloadReceived; // column 3, MB/s: two decimals below 1 MB/s, none from there on
    QString fpsSent;         // column 4
    QString fpsReceived;     // column 5, "--" while there is no rate
    QString images;          // column 6
    QString errors;          // column 7
    bool stalled = false;    // column 5's warning: nothing arrives, longer than the allowed silence
    bool failed = false;     // column 7's error marker
};
// `grabbing`: the measurement runs; `now` is compared with the sample's grab start.
ORBELT_EXPORT SampleDataView sampleDataView(const SampleData& sample, bool grabbing, const QDateTime& now,
                                            const QLocale& locale);
// Column 1 of a USB host controller row: "~" and its bandwidth in MB/s; empty without a bandwidth.
ORBELT_EXPORT QString controllerBandwidthText(uint64_t bytesPerSecond, const QLocale& locale);

// GUI thread only: every operation, slot and signal runs on the widget thread. The measuring cameras'
// own SDK threads never touch the widget; it reads their counters through sample() when the host calls
// Sample(). The widget owns the flat model and the camera list; rows refer to both by pointer, and
// those pointers stay valid until the next refreshTree().
class ORBELT_EXPORT BandwidthTreeWidget : public QTreeWidget {
    Q_OBJECT
public:
    using SOptimizationResult = ::SOptimizationResult;

    enum EItemType {
        ItemTypeNone = 0, // nothing selected, or a transport layer
        ItemTypeCamera = 2,
        ItemTypeAdapter = 3, // GigE adapter or USB controller
    };

    // Item data roles of the rows (the delegates read them).
    enum ItemRole {
        FlatTreeItemRole = Qt::UserRole + 1,     // void*: the row's FlatTreeItem
        IsCameraRole = Qt::UserRole + 2,         // bool, camera rows only
        VisibilityRole = Qt::UserRole + 3,       // int, column 2
        PollingRole = Qt::UserRole + 4,          // bool, column 2
        ViewAllFavoritesRole = Qt::UserRole + 5, // bool, column 2
    };

    // The GigE adapter's capacity in bytes per second; constexpr, so that binding it by reference links.
    static constexpr uint32_t MaxBandwidthBps = static_cast<uint32_t>(::MaxBandwidthBps);

    explicit BandwidthTreeWidget(QWidget* parent = nullptr);
    ~BandwidthTreeWidget() override;

    void refreshTree();
    // Lets the delegate of column 1 or 2 release its editor's hold on the camera before the view closes it.
    void closePersistentEditor(QTreeWidgetItem* item, int column);

    bool EnableCamera(size_t id);
    bool EnableCamera(const QString& id);
    bool DisableCamera(size_t id);
    bool DisableCamera(const QString& id);

    void StartMeasuring();
    void StopMeasuring();
    void Sample();
    void ResetSamples();

    bool CheckTriggerState(QList<QString>* softwareTriggered, QList<QString>* otherTriggered);

    void RemoveExternallyManagedNimboDevice(Nimbo::INimboDevice* device);
    void RemoveExternallyManagedNimboDevice(QString id);
    bool setPreopenedDevices(const QVector<Nimbo::INimboDevice*>* devices);
    bool setUsableDeviceClasses(const GenICam::gcstring_vector& classes);
    void setEnabledToolTip(const QString& toolTip) { m_enabledToolTip = toolTip; }

    int countCameras() const;
    int countEnabledCameras() const;
    int countGigECameras() const;
    int countEnabledGigECameras() const;
    QVector<size_t> enabledCameras() const;

    QString getSelectedItemDisplayName() const;
    EItemType getSelectedItemType() const;
    bool getSelectedItemFeatureValue(qint64& value) const;

    void setGenicamVisibility(int visibility);
    void setPollingActive(bool active);
    void setViewAllFavoritesActive(bool active);
    int getGenicamVisibility() const { return m_genicamVisibility; }
    bool getPollingActive() const { return m_pollingActive; }
    bool getViewAllFavoritesActive() const { return m_viewAllFavoritesActive; }

    bool saveLayout(QSettings* settings);
    bool restoreLayout(const QSettings* settings);

    // The flat model, for reading; its rows stay valid until the next refreshTree().
    const FlatTreeData& data() const { return *m_data; }

signals:
    void cameraChecked(size_t index, Nimbo::CInstantCamera* pInstantCamera, Qt::CheckState checkState);
    // Declared for hosts that listen for them; the widget does not emit them.
    void cameraAdded(size_t index, Nimbo::CInstantCamera* pInstantCamera);
    void cameraRemoved(size_t index, Nimbo::CInstantCamera* pInstantCamera);
    void errorOccurred(QString deviceName, QString message, QDateTime time);
    void optimizedGigECamera(BandwidthTreeWidget::SOptimizationResult result);
    void optimizeAllGigEStarted();
    void optimizeGigEStarted();

public slots:
    void clear();
    void OptimizeAllGigE();

protected slots:
    void onItemChanged(QTreeWidgetItem* pItem, int column);
    void onAddGigEButtonTimer();
    void onOptimizeButton(int buttonId);
    void optimizeGigEAdapter(FlatTreeItemID adapterId, bool onlySelected);
    void updateButtonStates();
    void updateButtonState(size_t id);

private:
    // Runs `work`; an SDK or standard exception becomes errorOccurred for `deviceName`.
    void reportFailures(const QString& deviceName, const std::function<void()>& work);
    int populateTreeFromFlatTreeData();
    int addChildItems(FlatTreeItem* parent, QTreeWidgetItem* parentItem);
    void UpdateSampleDataView();
    void UpdateSampleDataViewRow(FlatTreeItemID id);
    void closeRowEditors(FlatTreeItem& row);
    // The row's editors closed, its camera dropped, the row shown unchecked; throws std::out_of_range
    // for an id that is no row.
    void switchOff(FlatTreeItemID id);
    void emitCloseEditor(QTreeWidgetItem* item, int column);
    void writeConfigRole(int role, const QVariant& value);
    FlatTreeItemID rowOf(const QTreeWidgetItem* item) const;
    bool isChecked(FlatTreeItemID id) const;
    void queueButtonStates();

    FlatTreeData* m_data;
    MeasuringCameraList* m_cameras;
    QVector<Nimbo::INimboDevice*> m_preopenedDevices;
    QFont m_boldFont;
    QIcon m_warningIcon;
    QIcon m_errorIcon;
    QString m_enabledToolTip;
    int32_t m_genicamVisibility = 0;
    bool m_pollingActive = false;
    bool m_viewAllFavoritesActive = false;
    QSignalMapper m_optimizeMapper;
    // Set while the widget changes its own items, so that onItemChanged reports only the user's changes.
    bool m_changingItems = false;
};

Q_DECLARE_METATYPE(BandwidthTreeWidget::SOptimizationResult)
Q_DECLARE_METATYPE(Nimbo::CInstantCamera*)
