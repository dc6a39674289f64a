#include "ValidationSupport.h"

#include "Brennock/CodecForType.h"

std::unique_ptr<Tellvar::Brennock> makeValidationCodec(const wxString& inputExtension) {
    return Tellvar::makeCodec(engineTypeCode(inputExtension));
}
