/* The checker's face to the plug-in, in C for SPIN's verifier. */
#ifndef KELVRIN_PROOF_HARNESS_H
#define KELVRIN_PROOF_HARNESS_H

#ifdef __cplusplus
extern "C" {
#endif

/* Byte counts of the tracked state: what the state store compares, and what
   is restored with it without being compared. state_abstraction.h asserts both. */
#define KV_STATE_BYTES 88
#define KV_EXACT_BYTES 56

extern unsigned char kv_state[KV_STATE_BYTES];
extern unsigned char kv_exact[KV_EXACT_BYTES];

/* Runs host call number `action` of the alphabet against the plug-in and
   checks the rules after it. Returns 0, or the number of the rule broken. */
int kv_call(int action);

/* Number of calls in the alphabet. */
int kv_action_count(void);

#ifdef __cplusplus
}
#endif

#endif
