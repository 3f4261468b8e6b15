// The installed Pelmora.exe during Pelmora's own update. Windows will not
// overwrite a running program, but lets it be renamed: the running copy
// steps aside and a copy of it takes its place at once, so that the
// installer can overwrite the file and the installed path never goes
// missing. A scheduled task and the Start menu start that path: a run killed
// at any point still leaves a Pelmora.exe that starts, and the next start
// tidies what the killed run left.
#pragma once
#include <string>

namespace pelmora {

// The installed Pelmora.exe by full path, from its uninstall key, whether or
// not the file is there; empty when the key names no folder.
std::wstring InstalledPelmoraPath();

// Steps the running program aside for the installer when it is the
// installed copy (`ownPath` names the same file as `installed`); any other
// copy is never renamed. Once gone, the aside file is deleted at the next
// restart, or by the next start.
class SelfStepAside {
  public:
    SelfStepAside(const std::wstring& ownPath, const std::wstring& installed);
    ~SelfStepAside();
    SelfStepAside(const SelfStepAside&) = delete;
    SelfStepAside& operator=(const SelfStepAside&) = delete;

  private:
    std::wstring installed_, aside_;
};

// At every start, once no other Pelmora runs: an installed Pelmora.exe that
// is missing is brought back from the copy a killed run stepped aside, and
// the aside copies of runs that ended are deleted.
void RecoverSelfStepAside();

}  // namespace pelmora
