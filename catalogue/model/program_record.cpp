#include "catalogue/model/program_record.h"

namespace pelmora {

void ProgramRecord::Clear() {
    static const std::u16string kCleared = u"\n";
    id = 0;
    nameKorean = nameEnglish = nameChinese = nameJapanese = serverVersion = kCleared;
    listAlways = false;
    imageLocation = kCleared;
    packageLocation.fill(kCleared);
    setupFile = kCleared;
    setupDigest.reset();
    setupLightDigest.reset();
    state = NotLookedUp;
    downloadMatches = false;
    retryNumber = 0;
    catalogueLine = -1;
}

}  // namespace pelmora
