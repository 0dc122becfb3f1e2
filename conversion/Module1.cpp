#include "Module1.h"

#include "QynChangeImage.h"

namespace Module1 {

QString GetResultMessage(std::int32_t code)
{
    switch (code) {
    case QynChangeImage::Success: return QStringLiteral("With no error");
    case QynChangeImage::ProcessingFailed: return QStringLiteral("Processing went wrong.");
    case QynChangeImage::BadParameter: return QStringLiteral("A parameter is different.");
    case QynChangeImage::WrongArgumentType: return QStringLiteral("The model of an argument is different.");
    case QynChangeImage::NullArgument: return QStringLiteral("NULL is specified to be an argument.");
    case QynChangeImage::WidthNotMultipleOf32:
        return QStringLiteral("X sizes of an image to be examined must be the multiples of 32.");
    case QynChangeImage::SizeMismatch:
        return QStringLiteral(
            "A storing image must be the same size as a result of an image to be examined.");
    case QynChangeImage::WrongImageKind: return QStringLiteral("The kind of image is different.");
    case QynChangeImage::SameObject:
        return QStringLiteral(
            "The same object is specified to be an image to be examined by the storing image the result.");
    case QynChangeImage::BadRange:
        return QStringLiteral("A mistake is in specification of the processing range.");
    default: return QStringLiteral("An unknown error");
    }
}

}  // namespace Module1
