#include "Module1.h"

namespace Module1 {

QString GetResultMessage(std::int32_t code)
{
    switch (code) {
    case 0: return QStringLiteral("With no error");
    case 1501: return QStringLiteral("Processing went wrong.");
    case 1505: return QStringLiteral("A parameter is different.");
    case 1506: return QStringLiteral("The model of an argument is different.");
    case 1507: return QStringLiteral("NULL is specified to be an argument.");
    case 1531: return QStringLiteral("X sizes of an image to be examined must be the multiples of 32.");
    case 1532:
        return QStringLiteral(
            "A storing image must be the same size as a result of an image to be examined.");
    case 1550: return QStringLiteral("The kind of image is different.");
    case 1551:
        return QStringLiteral(
            "The same object is specified to be an image to be examined by the storing image the result.");
    case 1552: return QStringLiteral("A mistake is in specification of the processing range.");
    default: return QStringLiteral("An unknown error");
    }
}

}  // namespace Module1
