#pragma once

namespace ts {

template <class Pred>
bool
eventually(Pred pred, int timeout_ms)
{
	for (int waited = 0;; waited += 20) {
		if (pred())
			return true;
		if (waited >= timeout_ms)
			return false;
		sleep_ms(20);
	}
}

}
