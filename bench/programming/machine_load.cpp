#include "machine_load.h"

#include <unistd.h>

#include <fstream>
#include <sstream>

double CMachineLoad::BusyNow()
{
    // cpu  user nice system idle iowait irq softirq steal ...
    std::ifstream in("/proc/stat");
    std::string label;
    unsigned long long user = 0, nice = 0, system = 0, idle = 0, iowait = 0, irq = 0, softirq = 0, steal = 0;
    if (!(in >> label >> user >> nice >> system >> idle >> iowait >> irq >> softirq >> steal) || label != "cpu")
        return 0;
    return static_cast<double>(user + nice + system + irq + softirq) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

void CMachineLoad::Restart()
{
    m_dStart = BusyNow();
}

double CMachineLoad::BusySeconds() const
{
    return BusyNow() - m_dStart;
}

unsigned CMachineLoad::Cores()
{
    const long cores = ::sysconf(_SC_NPROCESSORS_ONLN);
    return cores > 0 ? static_cast<unsigned>(cores) : 1;
}

std::string CMachineLoad::LoadAverage()
{
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    if (!(in >> one >> five >> fifteen))
        return "?";
    return one + ", " + five + ", " + fifteen;
}
