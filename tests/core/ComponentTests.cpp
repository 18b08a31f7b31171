#include <gtest/gtest.h>

#include <utility>

#include "TestClasses.h"

namespace qorv::platform::testing {
namespace {

// Records what it is told and what it sees while being destroyed.
class TWatcher : public TComponent {
public:
  explicit TWatcher(TComponent* AOwner, std::vector<std::string>* log) : TComponent(AOwner), log_(log) {}
  ~TWatcher() override {
    if (Owner()) OwnerDestroyingSeen = Owner()->ComponentState().Contains(csDestroying);
    if (log_) log_->push_back("~" + Name() + (ComponentState().Contains(csDestroying) ? " destroying" : " plain"));
  }
  void Notification(TComponent* AComponent, TOperation Operation) override {
    TComponent::Notification(AComponent, Operation);
    if (AComponent != this && log_)
      log_->push_back(Name() + (Operation == opInsert ? " +" : " -") + AComponent->Name());
  }
  bool OwnerDestroyingSeen = false;

private:
  std::vector<std::string>* log_;
};

TEST(ComponentTest, OwnerFreesOwnedInReverseOrderWhileMarkedDestroying) {
  std::vector<std::string> log;
  auto* owner = new TComponent(nullptr);
  for (const char* n : {"A", "B", "C"}) {
    auto* w = new TWatcher(owner, &log);
    w->SetName(n);
  }
  log.clear();
  owner->Free();
  EXPECT_EQ(log, (std::vector<std::string>{"~C destroying", "~B destroying", "~A destroying"}));
}

TEST(ComponentTest, FreeMarksDestroyingBeforeTheDerivedDestructorRuns) {
  std::vector<std::string> log;
  TComponent owner(nullptr);
  auto* w = new TWatcher(&owner, &log);
  w->SetName("W");
  auto* plain = new TWatcher(&owner, &log);
  plain->SetName("P");
  log.clear();
  w->Free();
  delete plain;
  EXPECT_EQ(owner.ComponentCount(), 0);
  // P, a sibling, hears of W's removal.
  EXPECT_EQ(log, (std::vector<std::string>{"~W destroying", "P -W", "~P plain"}));
}

TEST(ComponentTest, InsertAndRemoveAreAnnouncedToTheOwnersComponents) {
  std::vector<std::string> log;
  TComponent owner(nullptr);
  auto* watcher = new TWatcher(&owner, &log);
  watcher->SetName("Watch");
  auto* other = new TWatcher(&owner, nullptr);
  other->SetName("Other");
  // The insert was announced before the name was given.
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0], "Watch +");
  log.clear();
  delete other;
  EXPECT_EQ(log, (std::vector<std::string>{"Watch -Other"}));
  EXPECT_EQ(owner.ComponentCount(), 1);
}

TEST(ComponentTest, FreeNotificationReachesComponentsOfOtherOwners) {
  std::vector<std::string> log;
  auto* ownerA = new TComponent(nullptr);
  auto* ownerB = new TComponent(nullptr);
  auto* watcher = new TWatcher(ownerA, &log);
  watcher->SetName("Watch");
  auto* target = new TComponent(ownerB);
  target->SetName("Target");
  watcher->FreeNotification(target);
  EXPECT_TRUE(watcher->ComponentState().Contains(csFreeNotification));
  log.clear();
  ownerB->Free();
  EXPECT_EQ(log, (std::vector<std::string>{"Watch -Target"}));

  // The other way round: the watcher goes first, and the target's later
  // destruction must not reach it.
  auto* ownerC = new TComponent(nullptr);
  auto* target2 = new TComponent(ownerC);
  target2->SetName("T2");
  watcher->FreeNotification(target2);
  ownerA->Free();
  ownerC->Free();
}

TEST(ComponentTest, NamesAreIdentifiersUniqueWithinTheOwner) {
  TComponent owner(nullptr);
  auto* a = new TComponent(&owner);
  a->SetName("Button1");
  auto* b = new TComponent(&owner);
  EXPECT_THROW(b->SetName("button1"), EComponentError);
  EXPECT_THROW(b->SetName("1abc"), EComponentError);
  EXPECT_THROW(b->SetName("a-b"), EComponentError);
  b->SetName("_b2");
  EXPECT_EQ(owner.FindComponent("BUTTON1"), a);
  EXPECT_EQ(owner.FindComponent("_B2"), b);
  EXPECT_EQ(owner.FindComponent("none"), nullptr);
  EXPECT_EQ(b->ComponentIndex(), 1);
  EXPECT_THROW(owner.Components(2), EListError);
}

TEST(ComponentTest, DesigningPropagatesToOwnedAndNewComponents) {
  TComponent owner(nullptr);
  auto* a = new TComponent(&owner);
  owner.SetDesigning(true);
  EXPECT_TRUE(a->ComponentState().Contains(csDesigning));
  auto* b = new TComponent(&owner);
  EXPECT_TRUE(b->ComponentState().Contains(csDesigning));
  owner.SetDesigning(false, TComponent::Propagation::ThisOnly);
  EXPECT_FALSE(owner.ComponentState().Contains(csDesigning));
  EXPECT_TRUE(a->ComponentState().Contains(csDesigning));
}

TEST(ComponentTest, AssignFailsWithTheClassNames) {
  TStringList list;
  TInfoSettings settings;
  struct Row {
    TPersistent* dest;
    TPersistent* source;
    const char* message;
  };
  const Row rows[] = {
      {&list, &settings, "Cannot assign a TInfoSettings to a TStringList"},
      {&list, nullptr, "Cannot assign a nil to a TStringList"},
      {&settings, &list, "Cannot assign a TStringList to a TInfoSettings"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.message);
    try {
      row.dest->Assign(row.source);
      ADD_FAILURE() << "no error";
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.Message(), row.message);
    }
  }
  TStringList other;
  other.Add("x");
  list.Assign(&other);
  EXPECT_EQ(list.Text(), "x\r\n");
}

TEST(ComponentTest, ClassInfoNamesAndInheritance) {
  TWidget w(nullptr);
  EXPECT_EQ(w.ClassName(), "TWidget");
  EXPECT_TRUE(w.InheritsFrom(TComponent::StaticClassInfo()));
  EXPECT_FALSE(w.InheritsFrom(TTestForm::StaticClassInfo()));
  // Published properties of ancestors come first.
  auto props = w.ClassInfo().Properties();
  ASSERT_FALSE(props.empty());
  EXPECT_EQ(props.front()->Name, "Tag");
  EXPECT_EQ(w.ClassInfo().FindProperty("interval")->Kind, TPropKind::Integer);
}

TEST(ComponentTest, EventsHoldObjectAndMethod) {
  TTestForm form(nullptr);
  TNotifyEvent e;
  EXPECT_FALSE(Assigned(e));
  e = TNotifyEvent::Of(&form, &TTestForm::WidgetTimer);
  ASSERT_TRUE(Assigned(e));
  EXPECT_EQ(e.Data(), &form);
  e(&form);
  EXPECT_EQ(form.Timers, 1);
  TAskEvent ask = TAskEvent::Of(&form, &TTestForm::WidgetAsk);
  bool answer = false;
  ask(&form, "yes?", answer);
  EXPECT_TRUE(answer);
}

}  // namespace
}  // namespace qorv::platform::testing
