// demo module public header.
#pragma once
