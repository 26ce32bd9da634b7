// The runner kind of enemy and the kind changes, and the shooter states of
// cover, sniping, surrender and guarding: until they are built, each call is
// recorded (the last one named in gEnemyCommandLog) and says once that it
// answered.
#include "game/BadGuy.h"

#include "ZevEngine2/Utilities.h"

EnemyCommandLog gEnemyCommandLog;

namespace {

void Record(const char* what, bool& said)
{
    gEnemyCommandLog.last = what;
    gEnemyCommandLog.count++;
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
void Enemy::MorphIntoFighter(int) {
    static bool said;
    Record("Enemy::MorphIntoFighter", said);
}
void Enemy::MorphIntoShooter() {
    static bool said;
    Record("Enemy::MorphIntoShooter", said);
}
void Enemy::MorphIntoBystander(Object*) {
    static bool said;
    Record("Enemy::MorphIntoBystander", said);
}
void Enemy::BodySnatch(Bystander*) {
    static bool said;
    Record("Enemy::BodySnatch", said);
}
void Enemy::Start_Run_Driving() {
    static bool said;
    Record("Enemy::Start_Run_Driving", said);
}

void Enemy::AttackObject(Object*, int)
{
    static bool said;
    Record("Enemy::AttackObject", said);
}
void Enemy::AttackObjectNoDamage(Object*, int)
{
    static bool said;
    Record("Enemy::AttackObjectNoDamage", said);
}
void Enemy::ShootObject(Object*)
{
    static bool said;
    Record("Enemy::ShootObject", said);
}
void Enemy::ShootObjectNoDamage(Object*)
{
    static bool said;
    Record("Enemy::ShootObjectNoDamage", said);
}
void Enemy::RunAwayFromObject(Object*)
{
    static bool said;
    Record("Enemy::RunAwayFromObject", said);
}
void Enemy::HarassObject(Object*)
{
    static bool said;
    Record("Enemy::HarassObject", said);
}
void Enemy::TakeObjectHostage(Object*)
{
    static bool said;
    Record("Enemy::TakeObjectHostage", said);
}
void Enemy::AllyWithObject(Object*)
{
    static bool said;
    Record("Enemy::AllyWithObject", said);
}
void Enemy::SeekObject(Object*)
{
    static bool said;
    Record("Enemy::SeekObject", said);
}
void Enemy::Wander()
{
    static bool said;
    Record("Enemy::Wander", said);
}
void Enemy::GetInCar(Vehicle*)
{
    static bool said;
    Record("Enemy::GetInCar", said);
}
void Enemy::ReactToObject(Object*)
{
    static bool said;
    Record("Enemy::ReactToObject", said);
}
void Enemy::ThreatenObject(Object*, int)
{
    static bool said;
    Record("Enemy::ThreatenObject", said);
}
void Enemy::ChaseObject(Object*)
{
    static bool said;
    Record("Enemy::ChaseObject", said);
}
void Enemy::TurnIntoHostage()
{
    static bool said;
    Record("Enemy::TurnIntoHostage", said);
}
void Enemy::StruggleWithObject(Object*)
{
    static bool said;
    Record("Enemy::StruggleWithObject", said);
}
void Enemy::PulloutObject(Object*)
{
    static bool said;
    Record("Enemy::PulloutObject", said);
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
}

int Enemy::ShooterSpecial(SpecialMessage*)
{
    static bool said;
    Record("Enemy::ShooterSpecial", said);
    return 0;
}
void Enemy::DropHostage()
{
    if (hostage != nullptr)
        { static bool said; Record("Enemy::DropHostage", said); };
}
void Enemy::Start_Shoot_TakeCover() {
    static bool said;
    Record("Enemy::Start_Shoot_TakeCover", said);
}
void Enemy::Restart_Shoot_TakeCover() {
    static bool said;
    Record("Enemy::Restart_Shoot_TakeCover", said);
}
void Enemy::Frame_Shoot_TakeCover()
{
    static bool said;
    Record("Enemy::Frame_Shoot_TakeCover", said);
    ShooterAnimate(1.0f);
}
void Enemy::Restart_Shoot_Sniping() {
    static bool said;
    Record("Enemy::Restart_Shoot_Sniping", said);
}
void Enemy::Frame_Shoot_Sniping()
{
    static bool said;
    Record("Enemy::Frame_Shoot_Sniping", said);
    ShooterAnimate(1.0f);
}
void Enemy::Restart_Shoot_TakeCover_Sniping() {
    static bool said;
    Record("Enemy::Restart_Shoot_TakeCover_Sniping", said);
}
void Enemy::Frame_Shoot_TakeCover_Sniping()
{
    static bool said;
    Record("Enemy::Frame_Shoot_TakeCover_Sniping", said);
    ShooterAnimate(1.0f);
}
void Enemy::Frame_Shoot_Surrender()
{
    static bool said;
    Record("Enemy::Frame_Shoot_Surrender", said);
    ShooterAnimate(1.0f);
}
void Enemy::Restart_Guard() {
    static bool said;
    Record("Enemy::Restart_Guard", said);
}
void Enemy::Frame_Guard()
{
    static bool said;
    Record("Enemy::Frame_Guard", said);
    ShooterAnimate(1.0f);
}
void Enemy::Restart_Guard_Check() {
    static bool said;
    Record("Enemy::Restart_Guard_Check", said);
}
void Enemy::Frame_Guard_Check()
{
    static bool said;
    Record("Enemy::Frame_Guard_Check", said);
    ShooterAnimate(1.0f);
}
void Enemy::Restart_Guard_Patrol() {
    static bool said;
    Record("Enemy::Restart_Guard_Patrol", said);
}
void Enemy::Frame_Guard_Patrol()
{
    static bool said;
    Record("Enemy::Frame_Guard_Patrol", said);
    ShooterAnimate(1.0f);
}
