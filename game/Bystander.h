// Bystanders: the calls other parts of the game use to steer the crowd.
#pragma once

class Object;

// Sends OM_SPECIAL {msg, what} to every pedestrian of the world's list, in
// list order, straight to its handler; answers are dropped.
void MessagePedestrians(int msg, Object* what);
