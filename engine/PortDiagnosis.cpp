#include "PortDiagnosis.h"

#include <string_view>

#ifndef _WIN32
namespace {

// Programs that take serial adapters on their own, and how to stop them.
std::string KnownRemedy(std::string_view program)
{
    if (program == "ModemManager")
        return "; ModemManager проверяет адаптер как модем: остановите его (sudo systemctl stop ModemManager) "
               "или запретите ему этот адаптер правилом udev ENV{ID_MM_DEVICE_IGNORE}=\"1\"";
    if (program == "brltty")
        return "; brltty принял адаптер за дисплей Брайля: удалите пакет brltty или отключите его "
               "(sudo systemctl mask brltty-udev.service)";
    return "; закройте её и повторите команду";
}

} // namespace
#endif

std::string PortFailureText(const TOpenFailure &f)
{
    switch (f.cause) {
    case TOpenCause::ocNone:
        return {};
    case TOpenCause::ocNoPermission: {
        std::string text = "нет прав на порт " + f.path;
        if (f.group.empty())
            return text + ": дайте пользователю доступ к устройству";
        if (f.inGroup)
            return text + ": пользователь уже в группе " + f.group +
                   ", но права вступят в силу после нового входа в систему";
        return text + ": добавьте пользователя в группу " + f.group + " (sudo usermod -aG " + f.group +
               " $USER) и войдите в систему заново";
    }
    case TOpenCause::ocBusy:
#ifdef _WIN32
        return "порт " + f.path + " занят другой программой: закройте её и повторите команду";
#else
        if (f.holderPid > 0)
            return "порт " + f.path + " занят программой " + f.holderName + " (PID " + std::to_string(f.holderPid) +
                   ")" + KnownRemedy(f.holderName);
        return "порт " + f.path + " занят другой программой: закройте её и повторите команду";
#endif
    case TOpenCause::ocAbsent:
        return "устройства " + f.path + " нет: адаптер отключен или получил другое имя; "
               "подключите его и обновите список портов сканером";
    case TOpenCause::ocOther:
        break;
    }
    return "порт " + f.path + " не открывается (код ошибки " + std::to_string(f.osError) + ")";
}
