// physics module public header.
#pragma once
