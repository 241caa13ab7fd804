#pragma once
namespace quell {
class Engine;
}
