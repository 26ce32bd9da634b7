// The runner kind of enemy, the kind changes and the commands other
// characters and controllers give an enemy: until they are built, each call
// is recorded (the last one named in gEnemyCommandLog with its object and
// number) and says once that it answered.
#include "game/BadGuy.h"
#include "game/Bystander.h"

#include "ZevEngine2/Utilities.h"

EnemyCommandLog gEnemyCommandLog;

namespace {

void Record(const char* what, bool& said, Object* obj = nullptr, int arg = 0)
{
    gEnemyCommandLog.last = what;
    gEnemyCommandLog.count++;
    gEnemyCommandLog.obj = obj;
    gEnemyCommandLog.arg = arg;
    if (!said)
        printf("Stand-in: %s answered by a placeholder\n", what);
    said = true;
}

}  // namespace

bool Enemy::WatchForVehicles() { return false; }
void Enemy::DiveOutOfTheWay() {
    static bool said;
    Record("Enemy::DiveOutOfTheWay", said);
}
int Enemy::CollideWithVehicle(CollisionRecord*)
{
    static bool said;
    Record("Enemy::CollideWithVehicle", said);
    return 0;
}
void Enemy::MorphIntoRunner() {
    static bool said;
    Record("Enemy::MorphIntoRunner", said);
}
void Enemy::MorphIntoFighter(int arg) {
    static bool said;
    Record("Enemy::MorphIntoFighter", said, nullptr, arg);
}
void Enemy::MorphIntoShooter() {
    static bool said;
    Record("Enemy::MorphIntoShooter", said);
}
void Enemy::MorphIntoBystander(Object* obj) {
    static bool said;
    Record("Enemy::MorphIntoBystander", said, obj);
}
void Enemy::BodySnatch(Bystander* obj) {
    static bool said;
    Record("Enemy::BodySnatch", said, obj);
}
void Enemy::Start_Run_Driving() {
    static bool said;
    Record("Enemy::Start_Run_Driving", said);
}

void Enemy::AttackObject(Object* obj, int arg)
{
    static bool said;
    Record("Enemy::AttackObject", said, obj, arg);
}
void Enemy::AttackObjectNoDamage(Object* obj, int arg)
{
    static bool said;
    Record("Enemy::AttackObjectNoDamage", said, obj, arg);
}
void Enemy::ShootObject(Object* obj)
{
    static bool said;
    Record("Enemy::ShootObject", said, obj);
}
void Enemy::ShootObjectNoDamage(Object* obj)
{
    static bool said;
    Record("Enemy::ShootObjectNoDamage", said, obj);
}
void Enemy::RunAwayFromObject(Object* obj)
{
    static bool said;
    Record("Enemy::RunAwayFromObject", said, obj);
}
void Enemy::HarassObject(Object* obj)
{
    static bool said;
    Record("Enemy::HarassObject", said, obj);
}
void Enemy::TakeObjectHostage(Object* obj)
{
    static bool said;
    Record("Enemy::TakeObjectHostage", said, obj);
}
void Enemy::AllyWithObject(Object* obj)
{
    static bool said;
    Record("Enemy::AllyWithObject", said, obj);
}
void Enemy::SeekObject(Object* obj)
{
    static bool said;
    Record("Enemy::SeekObject", said, obj);
}
void Enemy::Wander()
{
    static bool said;
    Record("Enemy::Wander", said);
}
void Enemy::GetInCar(Vehicle* obj)
{
    static bool said;
    Record("Enemy::GetInCar", said, obj);
}
void Enemy::ReactToObject(Object* obj)
{
    static bool said;
    Record("Enemy::ReactToObject", said, obj);
}
void Enemy::ThreatenObject(Object* obj, int arg)
{
    static bool said;
    Record("Enemy::ThreatenObject", said, obj, arg);
}
void Enemy::ChaseObject(Object* obj)
{
    static bool said;
    Record("Enemy::ChaseObject", said, obj);
}
void Enemy::TurnIntoHostage()
{
    static bool said;
    Record("Enemy::TurnIntoHostage", said);
}
void Enemy::StruggleWithObject(Object* obj)
{
    static bool said;
    Record("Enemy::StruggleWithObject", said, obj);
}
void Enemy::PulloutObject(Object* obj)
{
    static bool said;
    Record("Enemy::PulloutObject", said, obj);
}
void Enemy::GiveUp()
{
    static bool said;
    Record("Enemy::GiveUp", said);
}
void Enemy::Surrender()
{
    static bool said;
    Record("Enemy::Surrender", said);
    // The surrender state itself is the shooter's own (mode 11).
    issurrendering = true;
    mode = 11;
}
