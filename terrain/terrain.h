// terrain module public header.
#pragma once
