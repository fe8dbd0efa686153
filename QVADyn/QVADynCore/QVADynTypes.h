#pragma once

// Small value types shared by the component's classes and its host.
//
//   QVADynFrameValue harmonicFrame{12.5, 0.0, 0.0};      // f = 12.5 cycles per unit time
//   QVADynFrameValue transientFrame{0.0, 0.01, 0.01};    // step 0.01 to the next frame
//   QVADynDiagonalDamping record{0.0, 0.02, 0.0, 0.0};   // 2 % of critical damping

// One frame of an event. A harmonic event reads `first` as the frequency in
// cycles per unit time (omega = 2 pi f). A transient event reads `third` as the
// time increment from this frame to the next, `second` standing in when
// `third` is exactly 0.0.
struct QVADynFrameValue {
  double first = 0.0;
  double second = 0.0;
  double third = 0.0;
};

// Which part of a complex quantity; real-valued events use the real part.
enum QVADynNumberType : int { QVADynImaginaryPart = 0, QVADynRealPart = 1 };

// Which physical quantity is recovered or read back.
enum QVADynRecoveryType : int {
  QVADynRecoverDisplacement = 0,
  QVADynRecoverVelocity = 1,
  QVADynRecoverAcceleration = 2,
  QVADynRecoverReactionForce = 3
};

// Kinds of damping matrix; the modal damping assembly also takes 3,
// acoustic structural damping, which has no projected matrix.
enum QVADynDampingType : int {
  QVADynViscousDamping = 0,
  QVADynStructuralDamping = 1,
  QVADynAcousticViscousDamping = 2,
  QVADynAcousticStructuralDamping = 3
};

// Per-mode damping: structural damping factor s, fraction of critical damping
// xi, Rayleigh mass factor alpha and Rayleigh stiffness factor beta.
struct QVADynDiagonalDamping {
  double structural = 0.0;
  double criticalFraction = 0.0;
  double massFactor = 0.0;
  double stiffnessFactor = 0.0;
};

// Spatial correlation of random loads.
enum QVADynCorrelationType : int {
  QVADynCorrelationCorrelated = 0,
  QVADynCorrelationUncorrelated = 1,
  QVADynCorrelationJetNoise = 2
};

// Which part of a coupled model an operator update covers.
enum QVADynDomainType : int {
  QVADynAllDomains = 0,
  QVADynAcousticDomain = -1,
  QVADynStructuralDomain = -2
};

// Energy kinds; the request bit of kind k is 2^k.
enum QVADynEnergyType : int {
  QVADynEnergyKE = 0,
  QVADynEnergySE = 1,
  QVADynEnergyWork = 2,
  QVADynEnergyAllKE = 3,
  QVADynEnergyAllSE = 4,
  QVADynEnergyAllWork = 5
};
