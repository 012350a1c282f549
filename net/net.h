// net module public header.
#pragma once
