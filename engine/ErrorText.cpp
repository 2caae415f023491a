#include "ErrorText.h"

#include "Cp1251.h"

std::string AppTitle() { return "ПО \"AT_Vexo\""; }

std::string WithFullStop(const std::string &message)
{
    if (message.empty())
        return message;
    const std::string bytes = Cp1251Encode(message);
    if (static_cast<unsigned char>(bytes.back()) > static_cast<unsigned char>('.'))
        return message + '.';
    return message;
}

std::string ExceptionMessage(std::exception_ptr e)
{
    try {
        std::rethrow_exception(e);
    } catch (const std::exception &ex) {
        return ex.what();
    } catch (...) {
        return "Unknown error";
    }
}
