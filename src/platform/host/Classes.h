#pragma once

// The host's component framework: TObject, the owner tree of TComponent with its removal
// notifications, the pointer list TList, the string list TStringList, the application object
// that owns every form and data module, and the class and palette registries.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/host/SysUtils.h"

namespace host {

class TComponent;

// Base of every reference object: no copies, a virtual destructor and the class's name.
class TObject {
 public:
  TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
  virtual ~TObject() = default;

  // The class name as the form files and the class registry spell it ("TComponent").
  virtual std::string ClassName() const { return "TObject"; }
};

using TNotifyEvent = std::function<void(TObject* Sender)>;

// ---------------------------------------------------------------------------------------------
// Lists

// A bad index or a bad capacity; message "List index out of bounds (%d)" and the like.
class EListError : public Exception {
 public:
  using Exception::Exception;
};

using TListSortCompare = int (*)(void* AItem1, void* AItem2);

// A list of untyped pointers; it frees nothing. In the version-4 host Clear is virtual, so a
// descendant that owns its items replaces it; in the version-3 host it is not.
class TList : public TObject {
 public:
  TList() = default;
  ~TList() override;
  std::string ClassName() const override { return "TList"; }

  int Add(void* AItem);
  void Insert(int AIndex, void* AItem);
  void* Get(int AIndex) const;
  void Put(int AIndex, void* AItem);
  void Delete(int AIndex);
  int Remove(void* AItem);
  int IndexOf(void* AItem) const;
  void* First() const;
  void* Last() const;
  void Exchange(int AIndex1, int AIndex2);
  void Move(int ACurIndex, int ANewIndex);
#if VELTRANE_HOST_VERSION >= 4
  virtual void Clear();
#else
  void Clear();
#endif
  // In-place sort by a three-way comparison (negative: AItem1 first).
  void Sort(TListSortCompare ACompare);
  int GetCount() const { return static_cast<int>(FList.size()); }
  void SetCount(int AValue);
  int GetCapacity() const { return static_cast<int>(FList.capacity()); }
  void SetCapacity(int AValue);

  // Raises EListError built from AMessage (a format with one "%d") and AData.
  [[noreturn]] static void Error(const std::string& AMessage, int AData);

 private:
  std::vector<void*> FList;
};

// Lines of text. Lines are held in order; Names and Values read "name=value" lines, names
// compared case-insensitively.
class TStringList : public TObject {
 public:
  TStringList() = default;
  TStringList(std::initializer_list<std::string> ALines) : FLines(ALines) {}
  std::string ClassName() const override { return "TStringList"; }

  int Add(const std::string& AValue);
  void Insert(int AIndex, const std::string& AValue);
  void Delete(int AIndex);
  void Clear() { FLines.clear(); }
  // Copies every line of ASource (nothing when ASource is null... the list is then emptied).
  void Assign(const TStringList* ASource);
  int GetCount() const { return static_cast<int>(FLines.size()); }
  const std::string& Get(int AIndex) const;
  void Put(int AIndex, const std::string& AValue);
  // Index of the first line equal to AValue without regard to ASCII case, -1 when absent.
  int IndexOf(const std::string& AValue) const;
  // The part before the first '=' of line AIndex.
  std::string GetName(int AIndex) const;
  // The part after the first '=' of the first line whose name is AName; empty when absent.
  std::string GetValue(const std::string& AName) const;
  void SetValue(const std::string& AName, const std::string& AValue);
  int IndexOfName(const std::string& AName) const;
  // The lines joined, each followed by a line feed; SetText splits at CR LF, LF or CR.
  std::string GetText() const;
  void SetText(const std::string& AValue);
  const std::vector<std::string>& GetLines() const { return FLines; }
  bool Equals(const TStringList& AOther) const { return FLines == AOther.FLines; }

 private:
  std::vector<std::string> FLines;
};

// ---------------------------------------------------------------------------------------------
// Components

enum TOperation : std::uint8_t { opInsert = 0, opRemove = 1 };

// A duplicate or malformed component name, a bad owner.
class EComponentError : public Exception {
 public:
  using Exception::Exception;
};

// A component of the owner tree. The owner deletes what it owns (after they are gone from the
// tree, in reverse order of creation); a component that goes tells its owner's components and
// every component that asked through FreeNotification, which then clear their references.
class TComponent : public TObject {
 public:
  explicit TComponent(TComponent* AOwner);
  ~TComponent() override;
  std::string ClassName() const override { return "TComponent"; }

  TComponent* GetOwner() const { return FOwner; }
  const std::string& GetName() const { return FName; }
  // Raises EComponentError for a name that is not an identifier ("'1x' is not a valid component
  // name") or that a sibling already has, compared without regard to case ("A component named
  // Source already exists").
  virtual void SetName(const std::string& AValue);
  std::intptr_t GetTag() const { return FTag; }
  void SetTag(std::intptr_t AValue) { FTag = AValue; }
  int GetComponentCount() const { return static_cast<int>(FComponents.size()); }
  TComponent* GetComponents(int AIndex) const;
  // The owned component of that name (case-insensitive), nullptr when there is none.
  TComponent* FindComponent(const std::string& AName) const;

  // Asks for a removal notice when AComponent goes (and tells AComponent the same of this one).
  void FreeNotification(TComponent* AComponent);
  void RemoveFreeNotification(TComponent* AComponent);

  // Hands AComponent to this owner / takes it away (without deleting it).
  void InsertComponent(TComponent* AComponent);
  void RemoveComponent(TComponent* AComponent);

  bool GetDestroying() const { return FDestroying; }
  bool GetLoading() const { return FLoading; }
  // Called by the form-file reader after every property of the whole file was read.
  virtual void Loaded();
  void SetLoading(bool AValue) { FLoading = AValue; }

 protected:
  // Tells every owned component that AComponent arrives or goes; an override calls up first
  // and then clears its own references to a component that goes.
  virtual void Notification(TComponent* AComponent, TOperation AOperation);

 private:
  using inherited = TObject;

  void ValidateRename(TComponent* AComponent, const std::string& ANewName) const;

  TComponent* FOwner = nullptr;
  std::string FName;
  std::intptr_t FTag = 0;
  std::vector<TComponent*> FComponents;    // owned
  std::vector<TComponent*> FFreeNotifies;  // not owned
  bool FDestroying = false;
  bool FLoading = false;
};

// A named container of components with a window in the original; here only the container.
class TForm : public TComponent {
 public:
  using TComponent::TComponent;
  std::string ClassName() const override { return "TForm"; }
};

// A container of non-visual components (connections, queries, data sources, printers). It
// passes the form class test, so that "Module.Source" finds its data sources.
class TDataModule : public TForm {
 public:
  using TForm::TForm;
  std::string ClassName() const override { return "TDataModule"; }
};

// The root of all forms and data modules; lives until the process ends.
class TApplication : public TComponent {
 public:
  using TComponent::TComponent;
  std::string ClassName() const override { return "TApplication"; }
};

TApplication* Application();

// ---------------------------------------------------------------------------------------------
// Class and palette registries

using TComponentFactory = std::function<TComponent*(TComponent* AOwner)>;

// Registers a creatable class under its name; registering a name again replaces the factory.
void RegisterClass(const std::string& AClassName, TComponentFactory AFactory);
// The factory of that class (case-insensitive), an empty function when it is not registered.
TComponentFactory FindClass(const std::string& AClassName);

// Puts the named classes on a palette page, in order (a class already there is not repeated).
void RegisterComponents(const std::string& APage, const std::vector<std::string>& AClassNames);
// The classes on a page, in registration order; empty for an unknown page.
std::vector<std::string> PaletteClasses(const std::string& APage);
std::vector<std::string> PalettePages();

}  // namespace host
