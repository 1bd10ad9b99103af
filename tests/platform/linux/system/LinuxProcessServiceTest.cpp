#include "platform/linux/system/LinuxProcessService.h"
#include "support/QtPrinting.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace quorvia::platform;
using native::LinuxProcessService;

namespace {
void write(const QString& path, const QByteArray& text)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
}

void zone(const QDir& root, int n, int temp, std::vector<std::pair<const char*, int>> trips)
{
    const QString dir = root.filePath(QStringLiteral("thermal_zone%1").arg(n));
    QDir().mkpath(dir);
    write(dir + "/temp", QByteArray::number(temp) + "\n");
    for (std::size_t i = 0; i < trips.size(); ++i) {
        write(dir + QStringLiteral("/trip_point_%1_type").arg(i), QByteArray(trips[i].first) + "\n");
        write(dir + QStringLiteral("/trip_point_%1_temp").arg(i), QByteArray::number(trips[i].second) + "\n");
    }
}
} // namespace

TEST(LinuxProcessService, TripPointsGradeTheHeat)
{
    const std::map<QString, int> trips{{"passive", 80000}, {"hot", 95000}, {"critical", 105000}};
    EXPECT_EQ(LinuxProcessService::classify(50000, trips), ThermalState::nominal);
    EXPECT_EQ(LinuxProcessService::classify(80000, trips), ThermalState::fair);
    EXPECT_EQ(LinuxProcessService::classify(96000, trips), ThermalState::serious);
    EXPECT_EQ(LinuxProcessService::classify(105000, trips), ThermalState::critical);
    // A zone without trip points, or with a zero trip, never reports pressure.
    EXPECT_EQ(LinuxProcessService::classify(120000, {}), ThermalState::nominal);
    EXPECT_EQ(LinuxProcessService::classify(120000, {{"critical", 0}}), ThermalState::nominal);
}

TEST(LinuxProcessService, HottestZoneWinsAndNoZonesReadNominal)
{
    QTemporaryDir dir;
    const QDir root(dir.path());
    LinuxProcessService service(dir.path());
    EXPECT_EQ(service.thermalState(), ThermalState::nominal);

    zone(root, 0, 40000, {{"passive", 80000}, {"critical", 100000}});
    zone(root, 1, 97000, {{"hot", 96000}, {"critical", 110000}});
    EXPECT_EQ(service.thermalState(), ThermalState::serious);
    zone(root, 2, 120000, {{"critical", 115000}});
    EXPECT_EQ(service.thermalState(), ThermalState::critical);
}
